#pragma once

// Private to the capture folder: the only header that owns GStreamer
// references. Every handle makes its creator say whether it takes over a
// reference (Take), adds one (Add), or sinks a floating one (Sink).

#include <gst/gst.h>
#include <gst/video/video.h>

#include <utility>
#include <vector>

namespace gst_detail {

template <class T>
struct ObjectTraits {
    static void Ref(T* p) { gst_object_ref(p); }
    static void Unref(T* p) { gst_object_unref(p); }
};

template <class T>
struct MiniObjectTraits {
    static void Ref(T* p) { gst_mini_object_ref(GST_MINI_OBJECT_CAST(p)); }
    static void Unref(T* p) { gst_mini_object_unref(GST_MINI_OBJECT_CAST(p)); }
};

template <class T>
struct Traits;
template <>
struct Traits<GstElement> : ObjectTraits<GstElement> {};
template <>
struct Traits<GstBus> : ObjectTraits<GstBus> {};
template <>
struct Traits<GstPad> : ObjectTraits<GstPad> {};
template <>
struct Traits<GstDevice> : ObjectTraits<GstDevice> {};
template <>
struct Traits<GstDeviceMonitor> : ObjectTraits<GstDeviceMonitor> {};
template <>
struct Traits<GstClock> : ObjectTraits<GstClock> {};
template <>
struct Traits<GstPlugin> : ObjectTraits<GstPlugin> {};
template <>
struct Traits<GstElementFactory> : ObjectTraits<GstElementFactory> {};
template <>
struct Traits<GstCaps> : MiniObjectTraits<GstCaps> {};
template <>
struct Traits<GstSample> : MiniObjectTraits<GstSample> {};
template <>
struct Traits<GstBuffer> : MiniObjectTraits<GstBuffer> {};
template <>
struct Traits<GstMessage> : MiniObjectTraits<GstMessage> {};
template <>
struct Traits<GstEvent> : MiniObjectTraits<GstEvent> {};
template <>
struct Traits<GstVideoConverter> {
    static void Unref(GstVideoConverter* p) { gst_video_converter_free(p); }
};
template <>
struct Traits<GstStructure> {
    static void Unref(GstStructure* p) { gst_structure_free(p); }
};
template <>
struct Traits<GError> {
    static void Unref(GError* p) { g_error_free(p); }
};
template <>
struct Traits<gchar> {
    static void Unref(gchar* p) { g_free(p); }
};

}  // namespace gst_detail

template <class T>
class GstHandle {
public:
    GstHandle() = default;
    ~GstHandle() { reset(); }

    // Takes over the reference the caller holds.
    static GstHandle Take(T* p) { return GstHandle(p); }
    // Adds a reference of its own.
    static GstHandle Add(T* p) {
        if (p != nullptr) gst_detail::Traits<T>::Ref(p);
        return GstHandle(p);
    }
    // Sinks a floating reference (or adds one when it is not floating).
    static GstHandle Sink(T* p) {
        if (p != nullptr) gst_object_ref_sink(p);
        return GstHandle(p);
    }

    GstHandle(GstHandle&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    GstHandle& operator=(GstHandle&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    GstHandle(const GstHandle& other) : p_(nullptr) { *this = Add(other.p_); }
    GstHandle& operator=(const GstHandle& other) {
        if (this != &other) *this = Add(other.p_);
        return *this;
    }

    void reset() {
        if (p_ != nullptr) gst_detail::Traits<T>::Unref(std::exchange(p_, nullptr));
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands the reference to a call that takes it over.
    T* release() { return std::exchange(p_, nullptr); }

private:
    explicit GstHandle(T* p) : p_(p) {}
    T* p_ = nullptr;
};

using ElementHandle = GstHandle<GstElement>;
using BusHandle = GstHandle<GstBus>;
using PadHandle = GstHandle<GstPad>;
using DeviceHandle = GstHandle<GstDevice>;
using DeviceMonitorHandle = GstHandle<GstDeviceMonitor>;
using ClockHandle = GstHandle<GstClock>;
using PluginHandle = GstHandle<GstPlugin>;
using ElementFactoryHandle = GstHandle<GstElementFactory>;
using CapsHandle = GstHandle<GstCaps>;
using SampleHandle = GstHandle<GstSample>;
using BufferHandle = GstHandle<GstBuffer>;
using MessageHandle = GstHandle<GstMessage>;
using EventHandle = GstHandle<GstEvent>;
using StructureHandle = GstHandle<GstStructure>;
using ConverterHandle = GstHandle<GstVideoConverter>;
using ErrorHandle = GstHandle<GError>;
using GStringHandle = GstHandle<gchar>;

// The devices a monitor lists, each with its own reference.
inline std::vector<DeviceHandle> TakeDeviceList(GList* list) {
    std::vector<DeviceHandle> devices;
    for (GList* item = list; item != nullptr; item = item->next) {
        devices.push_back(DeviceHandle::Take(GST_DEVICE(item->data)));
    }
    g_list_free(list);
    return devices;
}

// Keeps a video frame mapped while it lives.
class MappedVideoFrame {
public:
    MappedVideoFrame(const GstVideoInfo& info, GstBuffer* buffer,
                     GstMapFlags flags = GST_MAP_READ) {
        mapped_ = buffer != nullptr &&
                  gst_video_frame_map(&frame_, const_cast<GstVideoInfo*>(&info), buffer, flags);
    }
    ~MappedVideoFrame() {
        if (mapped_) gst_video_frame_unmap(&frame_);
    }
    MappedVideoFrame(const MappedVideoFrame&) = delete;
    MappedVideoFrame& operator=(const MappedVideoFrame&) = delete;

    bool ok() const { return mapped_; }
    const guint8* plane() const {
        return static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0));
    }
    int stride() const { return GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0); }
    GstVideoFrame* get() { return &frame_; }

private:
    GstVideoFrame frame_{};
    bool mapped_ = false;
};
