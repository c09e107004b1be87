#include "diary/picture_store.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "capture/picture_settle.h"
#include "diary/drawing_surface.h"
#include "diary/jpeg_writer.h"
#include "diary/layout/day_folders.h"
#include "diary/layout/diary_layout.h"
#include "diary/layout/diary_names.h"
#include "diary/page_writers.h"
#include "diary/time_text.h"
#include "log/diary_notice.h"
#include "platform/clock.h"
#include "schedule/schedule_settings.h"
#include "settings/shared_settings.h"

std::int32_t PictureStore::StorePicture(const StopSignal& stop, PictureTrigger trigger) {
    // A camera that a recovery found unplugged comes back only through the
    // store's own recoveries.
    if (!graph_.ready.load() && !graph_.camera_gone.load()) return kStoreFailed;
    if (pages_changed_.exchange(false)) pages_.ResetCache();
    // One consistent copy for the whole store: dialogs may edit meanwhile.
    DiarySettings settings = settings_.Copy();
    const DiaryLayout layout = DiaryLayout::Of(settings);
    settings.PREVIEW_HTML = layout.day_page;
    settings.INDEX_HTML = layout.index_page;
    const std::string& save_directory = layout.save_folder;
    events_.Publish(StoreComing{save_directory});
    const auto fail = [this](int code) {
        notices_.Post(code);
        if (code != kNoticePictureNotStored) notices_.Post(kNoticePictureNotStored);
        events_.Publish(StoreFailed{code});
        return kStoreFailed;
    };
    const std::tm capture_time = clock_.LocalNow();

    std::optional<DrawingSurface> surface;
    const GrabContext context{
        source_, graph_,   clock_,
        stop,    timings_, static_cast<std::uint32_t>(std::max(0, settings.SETTLE_MAX_MS))};
    const GrabResult grab =
        GrabFreshFrame(context, GrabCaller::kPictureStore, [&](std::size_t frame_size) {
            surface = DrawingSurface::Create(source_.ConnectedFormat(), frame_size);
            return surface ? surface->Pixels() : nullptr;
        });
    switch (grab.outcome) {
        case GrabOutcome::kNotLocked:
        case GrabOutcome::kNoDestination:
            return kStoreFailed;
        case GrabOutcome::kGaveUp:
            // The camera delivered nothing new through every recovery: a stale
            // or black picture would only mislead.
            return fail(kNoticePictureNotStored);
        case GrabOutcome::kStopped:
            // The stop came before any frame reached the surface: it holds no
            // picture, only black.
            if (!grab.frame_copied) return kStoreFailed;
            break;
        case GrabOutcome::kFresh:
            break;
    }

    // Measured before the time text, which would brighten a black picture.
    const ScheduleSettings& schedule = settings.Section<ScheduleSettings>();
    // A picture asked for is taken as it is.
    const bool dark_skips = trigger == PictureTrigger::kMotion
                                ? schedule.SKIP_DARK_MOTION
                                : trigger != PictureTrigger::kRequest;
    if (schedule.SKIP_DARK_BELOW > 0 && dark_skips) {
        const double brightness = MeanBrightnessOfBgr(surface->Pixels(), surface->Format());
        if (brightness < schedule.SKIP_DARK_BELOW) {
            events_.Publish(
                PictureSkipped{trigger, static_cast<int>(brightness), schedule.SKIP_DARK_BELOW});
            return kStoreSkippedDark;
        }
    }

    if (settings.SHOW_TEXT) DrawTimeText(*surface, capture_time, settings);

    StoredPicture picture;
    picture.capture_time = capture_time;
    picture.save_directory = save_directory;
    picture.day_name = DayDirectoryName(capture_time);
    picture.file_name = PictureFileName(capture_time);
    picture.width = surface->Format().width;
    picture.height = surface->Format().height;

    // Both flags are taken before the day folder is made.
    const bool day_exists = EntryExists(picture.save_directory, picture.day_name);
    picture.calendar_rebuild =
        settings.INDEX_CALENDAR &&
        (!day_exists || !EntryExists(picture.save_directory, settings.INDEX_HTML));
    picture.day_directory_existed = day_exists;
    if (!day_exists) pages_.ForgetDayThumbnails();

    // A day folder that is a link (planted by whoever else writes into a
    // shared web folder) would take the pictures and the page out of the
    // save folder.
    if (!MakeDayFolder(picture.save_directory, picture.day_name))
        return fail(kNoticeDayDirectoryFailed);
    if (!day_exists) events_.Publish(DayBegun{picture.save_directory, picture.day_name});
    picture.day_directory = picture.save_directory + picture.day_name + "/";
    // A clock set back, the end of summer time or two stores in one second
    // meet a name in use: the picture takes the next numbered name instead
    // of replacing the earlier one.
    const std::string stored = WriteNewJpegFile(
        [&](int repeat) {
            const std::string name = PictureFileName(capture_time, repeat);
            return name.empty() ? name : picture.day_directory + name;
        },
        surface->Format(), surface->Pixels(), settings.JPEG_QUALITY);
    if (stored.empty()) return fail(kNoticePictureNotStored);
    picture.file_name = stored.substr(picture.day_directory.size());
    surface.reset();
    std::vector<std::string> pages = pages_.WritePages(picture, settings);
    events_.Publish(PictureStored{stored, picture.save_directory, picture.day_name,
                                  picture.file_name, capture_time, trigger, picture.width,
                                  picture.height, std::move(pages)});
    return kStoreOk;
}
