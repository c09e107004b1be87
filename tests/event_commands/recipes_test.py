#!/usr/bin/env python3
"""The ready commands of contrib/commands run as Quillomat runs them: the
facts in QUILLOMAT_* variables, the settings as arguments. ntfy and Telegram
go to an HTTP server of the test on 127.0.0.1, mail to a sendmail of the
test first in PATH; each must carry the picture's exact bytes, and no secret
may ever be on a command line.

    recipes_test.py <contrib/commands folder>
"""

import email
import email.policy
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading
import unittest

COMMANDS = None
TOKEN = "123456:secret-Token_of-the-test"


def command_lines_holding(text):
    """The command lines of this machine's processes that hold `text`."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                line = f.read()
        except OSError:
            continue
        if text.encode() in line:
            found.append(line.replace(b"\0", b" ").decode(errors="replace"))
    return found


class Server(http.server.ThreadingHTTPServer):
    """Records each request; while a request waits for its answer, looks
    whether the token shows in any process's command line."""

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.requests = []
        self.status = 200
        self.token_seen_in = []
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()

    @property
    def base(self):
        return f"http://127.0.0.1:{self.server_address[1]}"

    def stop(self):
        self.shutdown()
        self.server_close()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_PUT(self):
        self.record()

    def do_POST(self):
        self.record()

    def record(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        self.server.token_seen_in += command_lines_holding(TOKEN)
        self.server.requests.append(
            {"method": self.command, "path": self.path, "headers": self.headers, "body": body})
        answer = json.dumps({"ok": self.server.status == 200}).encode()
        self.send_response(self.server.status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass


class Recipes(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        # A save folder with what a shell, curl's globs and its form syntax
        # would take for their own.
        day = os.path.join(self.dir.name, 'my diary "q" {a,b} [1]; $(touch x)', "20240305")
        os.makedirs(day)
        self.picture = os.path.join(day, "20240305090307.jpg")
        # Bytes of every value, boundaries' dashes and line ends among them.
        self.bytes = b"\xff\xd8" + bytes(range(256)) * 40 + b"\r\n--\r\n--x--\n" + b"\xff\xd9"
        with open(self.picture, "wb") as f:
            f.write(self.bytes)
        self.token_file = os.path.join(self.dir.name, "token")
        with open(self.token_file, "w") as f:
            f.write(TOKEN + "\n")
        self.server = Server()
        self.env = dict(os.environ)
        self.env.update({
            "QUILLOMAT_EVENT": "picture",
            "QUILLOMAT_TIME": "2024-03-05T09:03:07+09:00",
            "QUILLOMAT_PICTURE": self.picture,
            "QUILLOMAT_TRIGGER": "motion",
            "QUILLOMAT_CAMERA": "Cam (2)",
            "QUILLOMAT_SKIPPED": "3",
        })

    def tearDown(self):
        self.server.stop()
        self.dir.cleanup()

    def run_command(self, name, *args, env=None):
        path = os.path.join(COMMANDS, name)
        self.assertTrue(os.access(path, os.X_OK), f"{name} is not executable")
        with open(path, "rb") as f:
            self.assertEqual(f.readline(), b"#!/bin/sh\n")
        return subprocess.run([path, *args], env=env or self.env, capture_output=True,
                              timeout=60, cwd=self.dir.name)

    def assert_refuses(self, name, args, status, message, env=None):
        done = self.run_command(name, *args, env=env)
        self.assertEqual(done.returncode, status, done.stderr)
        self.assertIn(message, done.stderr.decode())

    def test_ntfy_puts_the_picture_with_its_facts_and_the_token_from_its_file(self):
        done = self.run_command("ntfy", self.server.base + "/diary-topic", self.token_file)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len(self.server.requests), 1)
        request = self.server.requests[0]
        self.assertEqual((request["method"], request["path"]), ("PUT", "/diary-topic"))
        self.assertEqual(request["body"], self.bytes)
        self.assertEqual(request["headers"]["Filename"], "20240305090307.jpg")
        self.assertEqual(request["headers"]["Authorization"], "Bearer " + TOKEN)
        self.assertEqual(request["headers"]["Message"],
                         "2024-03-05T09:03:07+09:00 (motion), 3 skipped")
        self.assertEqual(self.server.token_seen_in, [])

        # Without a token file no Authorization, with nothing skipped no
        # count; a server's refusal fails.
        self.server.status = 500
        done = self.run_command("ntfy", self.server.base + "/diary-topic",
                                env=dict(self.env, QUILLOMAT_SKIPPED="0"))
        self.assertNotEqual(done.returncode, 0)
        self.assertNotIn("Authorization", self.server.requests[1]["headers"])
        self.assertEqual(self.server.requests[1]["headers"]["Message"],
                         "2024-03-05T09:03:07+09:00 (motion)")

        self.assert_refuses("ntfy", [], 2, "usage: ntfy URL [TOKEN_FILE]")
        self.assert_refuses("ntfy", [self.server.base, self.token_file + ".gone"], 1,
                            "cannot read the token file")

    def test_telegram_posts_the_picture_as_a_form_with_the_token_only_in_the_address(self):
        env = dict(self.env, TELEGRAM_API=self.server.base)
        done = self.run_command("telegram", self.token_file, "-100123", env=env)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len(self.server.requests), 1)
        request = self.server.requests[0]
        self.assertEqual((request["method"], request["path"]),
                         ("POST", f"/bot{TOKEN}/sendPhoto"))
        form = email.message_from_bytes(
            b"Content-Type: " + request["headers"]["Content-Type"].encode() + b"\r\n\r\n" +
            request["body"], policy=email.policy.HTTP)
        self.assertTrue(form.is_multipart())
        fields = {field.get_param("name", header="content-disposition"): field
                  for field in form.iter_parts()}
        self.assertEqual(sorted(fields), ["caption", "chat_id", "photo"])
        self.assertEqual(fields["chat_id"].get_payload(decode=True), b"-100123")
        self.assertEqual(fields["caption"].get_payload(decode=True),
                         b"2024-03-05T09:03:07+09:00 (motion), 3 skipped")
        self.assertEqual(fields["photo"].get_filename(), "20240305090307.jpg")
        self.assertEqual(fields["photo"].get_payload(decode=True), self.bytes)
        self.assertEqual(self.server.token_seen_in, [])

        self.assert_refuses("telegram", [self.token_file], 2, "usage: telegram TOKEN_FILE CHAT_ID")
        unreadable = dict(env, QUILLOMAT_PICTURE=self.picture + ".gone")
        self.assert_refuses("telegram", [self.token_file, "1"], 1, "cannot read the picture",
                            env=unreadable)
        # Other events send nothing.
        other = dict(env, QUILLOMAT_EVENT="camera-lost")
        del other["QUILLOMAT_PICTURE"]
        done = self.run_command("telegram", self.token_file, "1", env=other)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(len(self.server.requests), 1)

    def test_mail_hands_sendmail_a_message_with_the_picture_attached(self):
        bin_dir = os.path.join(self.dir.name, "bin")
        os.mkdir(bin_dir)
        saved = os.path.join(self.dir.name, "mail")
        sendmail = os.path.join(bin_dir, "sendmail")
        with open(sendmail, "w") as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$@" > "$SAVED.args"\ncat > "$SAVED"\n')
        os.chmod(sendmail, 0o755)
        env = dict(self.env, PATH=bin_dir + os.pathsep + self.env.get("PATH", ""), SAVED=saved)
        done = self.run_command("mail", "me@example.org", "Diary <diary@example.org>", env=env)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(saved + ".args") as f:
            self.assertIn("-t", f.read().split("\n"))
        with open(saved, "rb") as f:
            message = email.message_from_binary_file(f, policy=email.policy.default)
        self.assertEqual(message["To"], "me@example.org")
        self.assertEqual(message["From"], "Diary <diary@example.org>")
        self.assertIn("2024-03-05T09:03:07+09:00", message["Subject"])
        text = message.get_body(("plain",)).get_content()
        self.assertIn("Skipped since the last mail: 3", text)
        self.assertIn("Camera: Cam (2)", text)
        attachments = list(message.iter_attachments())
        self.assertEqual(len(attachments), 1)
        self.assertEqual(attachments[0].get_content_type(), "image/jpeg")
        self.assertEqual(attachments[0].get_filename(), "20240305090307.jpg")
        self.assertEqual(attachments[0].get_content(), self.bytes)

        os.remove(saved)
        self.assert_refuses("mail", ["me@example.org\nBcc: all@example.org"], 2, "line break",
                            env=env)
        self.assert_refuses("mail", [], 2, "usage: mail TO [FROM]", env=env)
        self.assertFalse(os.path.exists(saved))


if __name__ == "__main__":
    COMMANDS = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
