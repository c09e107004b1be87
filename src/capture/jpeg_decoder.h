#pragma once

// Private to the capture folder.

#include <gst/video/video.h>

#include "capture/gst_handle.h"

// The picture size from a JPEG's frame header (network streams give no size
// in their caps); false when it has none.
bool JpegPictureSize(GstBuffer* jpeg, int& width, int& height);

// Decodes one Motion-JPEG frame at a time with jpegdec, on the calling
// thread, so that only the frames someone takes are ever decoded.
class JpegDecoder {
public:
    JpegDecoder() = default;
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // False when `jpeg` cannot be decoded (a damaged frame); the decoder is
    // then ready for the next one. On success `info` and `picture` hold the
    // decoded frame.
    bool Decode(GstBuffer* jpeg, int width, int height, GstVideoInfo& info, BufferHandle& picture);

private:
    bool Open();
    void Close();
    bool PushCaps(int width, int height);

    static GstFlowReturn Collect(GstPad* pad, GstObject* parent, GstBuffer* buffer);
    static gboolean CollectEvent(GstPad* pad, GstObject* parent, GstEvent* event);

    ElementHandle decoder_;
    PadHandle feed_;
    PadHandle drain_;
    int width_ = 0;
    int height_ = 0;
    BufferHandle decoded_;
    GstVideoInfo decoded_info_{};
    bool have_info_ = false;
};
