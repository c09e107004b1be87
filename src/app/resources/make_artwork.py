#!/usr/bin/env python3
"""Writes the program's artwork as SVG and renders the PNG files beside it.

Run after changing a drawing; needs rsvg-convert (Debian: librsvg2-bin). The
SVG and PNG files are committed, so building needs neither.
"""
import pathlib
import subprocess

HERE = pathlib.Path(__file__).resolve().parent

# Normal icons are calm; the hover icon of a pair is the same drawing, lit.
NORMAL = {"body": "#5b6b7f", "dark": "#3a4656", "light": "#dfe6ee", "accent": "#8aa1b8"}
HOVER = {"body": "#1f6fd1", "dark": "#0f3f7f", "light": "#ffffff", "accent": "#ffb020"}


def icon(content):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" '
            'viewBox="0 0 32 32">' + content + "</svg>\n")


def camera(c):
    return (f'<rect x="3" y="9" width="26" height="18" rx="3" fill="{c["body"]}"/>'
            f'<path d="M11 9 L13 5 H19 L21 9 Z" fill="{c["dark"]}"/>'
            f'<circle cx="16" cy="18" r="6.5" fill="{c["light"]}"/>'
            f'<circle cx="16" cy="18" r="4.5" fill="{c["dark"]}"/>'
            f'<circle cx="14.5" cy="16.5" r="1.3" fill="{c["light"]}"/>'
            f'<rect x="23" y="11.5" width="3.5" height="2.5" rx="1" fill="{c["accent"]}"/>')


def snapshot(c):
    return icon(camera(c))


def device_change(c):
    return icon(
        f'<rect x="2" y="13" width="17" height="12" rx="2" fill="{c["body"]}"/>'
        f'<path d="M19 16 L26 12 V26 L19 22 Z" fill="{c["dark"]}"/>'
        f'<circle cx="10.5" cy="19" r="3.5" fill="{c["light"]}"/>'
        f'<path d="M8 9 A9 9 0 0 1 24 6" fill="none" stroke="{c["accent"]}" stroke-width="2.5" '
        f'stroke-linecap="round"/>'
        f'<path d="M21 2 L27 5 L22 10 Z" fill="{c["accent"]}"/>')


def device_settings(c):
    parts = []
    for y, knob in ((8, 20), (16, 10), (24, 17)):
        parts.append(f'<rect x="4" y="{y - 1.5}" width="24" height="3" rx="1.5" fill="{c["body"]}"/>')
        parts.append(f'<rect x="{knob - 3}" y="{y - 4.5}" width="6" height="9" rx="2" '
                     f'fill="{c["accent"]}" stroke="{c["dark"]}" stroke-width="1.2"/>')
    return icon("".join(parts))


def device_properties(c):
    lines = "".join(
        f'<rect x="8" y="{y}" width="3" height="3" rx="0.5" fill="{c["accent"]}"/>'
        f'<rect x="13" y="{y + 0.5}" width="11" height="2" rx="1" fill="{c["dark"]}"/>'
        for y in (9, 15, 21))
    return icon(f'<path d="M5 3 H21 L27 9 V29 H5 Z" fill="{c["light"]}" stroke="{c["body"]}" '
                f'stroke-width="2" stroke-linejoin="round"/>'
                f'<path d="M21 3 V9 H27" fill="none" stroke="{c["body"]}" stroke-width="2" '
                f'stroke-linejoin="round"/>' + lines)


def capture_settings(c):
    teeth = "".join(
        f'<rect x="14" y="1.5" width="4" height="6" rx="1" fill="{c["body"]}" '
        f'transform="rotate({angle} 16 16)"/>' for angle in range(0, 360, 45))
    return icon(teeth + f'<circle cx="16" cy="16" r="10" fill="{c["body"]}"/>'
                f'<circle cx="16" cy="16" r="6.5" fill="{c["light"]}"/>'
                f'<path d="M16 12 V16 L19 18" fill="none" stroke="{c["dark"]}" stroke-width="1.8" '
                f'stroke-linecap="round"/>'
                f'<circle cx="16" cy="16" r="1" fill="{c["accent"]}"/>')


def on_air():
    return icon('<circle cx="16" cy="16" r="13" fill="#fbe3e3" stroke="#b71c1c" stroke-width="2"/>'
                '<circle cx="16" cy="16" r="8" fill="#e53935"/>'
                '<circle cx="13.5" cy="13.5" r="2.5" fill="#ff9a9a"/>')


def off_air():
    return icon('<circle cx="16" cy="16" r="13" fill="#eeeeee" stroke="#8a8a8a" stroke-width="2"/>'
                '<circle cx="16" cy="16" r="8" fill="none" stroke="#9e9e9e" stroke-width="2.5"/>'
                '<path d="M10 22 L22 10" stroke="#9e9e9e" stroke-width="2.5" stroke-linecap="round"/>')


def app_icon():
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">'
            '<defs><linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#2f8fd8"/><stop offset="1" stop-color="#1a5ea8"/>'
            '</linearGradient></defs>'
            '<rect x="8" y="8" width="240" height="240" rx="48" fill="url(#tile)"/>'
            '<rect x="40" y="84" width="176" height="120" rx="20" fill="#f4f7fb"/>'
            '<path d="M92 84 L106 58 H150 L164 84 Z" fill="#f4f7fb"/>'
            '<circle cx="128" cy="144" r="44" fill="#1a5ea8"/>'
            '<circle cx="128" cy="144" r="30" fill="#0d2f57"/>'
            '<circle cx="116" cy="132" r="9" fill="#8cc4f2"/>'
            '<circle cx="190" cy="106" r="9" fill="#e53935"/>'
            '</svg>\n')


def side_band():
    # A strip of film, as wide and tall as the main window's band.
    width, height = 47, 499
    holes = "".join(
        f'<rect x="5" y="{y}" width="8" height="10" rx="2" fill="#f4f7fb"/>'
        f'<rect x="{width - 13}" y="{y}" width="8" height="10" rx="2" fill="#f4f7fb"/>'
        for y in range(8, height - 10, 22))
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">'
            '<defs><linearGradient id="band" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#2f8fd8"/><stop offset="1" stop-color="#0d2f57"/>'
            '</linearGradient></defs>'
            f'<rect width="{width}" height="{height}" fill="url(#band)"/>' + holes +
            f'<rect x="17" y="0" width="13" height="{height}" fill="#ffffff" fill-opacity="0.15"/>'
            '</svg>\n')


def preview_placeholder():
    # The preview before the first frame, and the picture of the about box,
    # whose text goes into the free lower part.
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="320" height="240" viewBox="0 0 320 240">'
            '<defs><linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#dcebf8"/><stop offset="1" stop-color="#ffffff"/>'
            '</linearGradient></defs>'
            '<rect width="320" height="240" fill="url(#sky)"/>'
            '<g transform="translate(160 70)">'
            '<rect x="-44" y="-22" width="88" height="60" rx="10" fill="#1a5ea8"/>'
            '<path d="M-18 -22 L-11 -35 H11 L18 -22 Z" fill="#1a5ea8"/>'
            '<circle cx="0" cy="8" r="22" fill="#f4f7fb"/>'
            '<circle cx="0" cy="8" r="15" fill="#0d2f57"/>'
            '<circle cx="-6" cy="2" r="4.5" fill="#8cc4f2"/>'
            '<circle cx="31" cy="-10" r="4.5" fill="#e53935"/>'
            '</g>'
            '<rect x="40" y="128" width="240" height="2" fill="#1a5ea8" fill-opacity="0.35"/>'
            '</svg>\n')


def write(name, svg, sizes=None):
    path = HERE / f"{name}.svg"
    path.write_text(svg)
    if sizes is None:
        subprocess.run(["rsvg-convert", "-o", str(HERE / f"{name}.png"), str(path)], check=True)
        return
    for size in sizes:
        out = HERE / f"{name}-{size}.png"
        subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o", str(out),
                        str(path)], check=True)


def main():
    drawings = {
        "snapshot": snapshot,
        "device_change": device_change,
        "device_settings": device_settings,
        "device_properties": device_properties,
        "capture_settings": capture_settings,
    }
    for name, draw in drawings.items():
        write(f"{name}_hover", draw(HOVER))
        write(name, draw(NORMAL))
    write("on_air", on_air())
    write("off_air", off_air())
    write("quillomat", app_icon(), sizes=(16, 32, 48, 64, 128, 256))
    write("side_band", side_band())
    write("preview_placeholder", preview_placeholder())

if __name__ == "__main__":
    main()
