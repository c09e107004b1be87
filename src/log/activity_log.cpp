#include "log/activity_log.h"

#include <QtGlobal>
#include <cstdio>
#include <ctime>

#include "log/diary_notice.h"
#include "platform/clock.h"
#include "platform/cp932.h"
#include "platform/weekdays.h"
#include "settings/app_directory.h"
#include "settings/shared_settings.h"

namespace {

// Box only, with no stamp.
constexpr const char* kFileErrorLine =
    QT_TRANSLATE_NOOP("ActivityLog", "ERROR : ログファイルエラー");

struct NoticeText {
    int code;
    const char* text;
};

constexpr NoticeText kNoticeTexts[] = {
    {kNoticeMotionDetected, QT_TRANSLATE_NOOP("ActivityLog", "動作を検知しました")},
    {kNoticeDayDirectoryFailed, QT_TRANSLATE_NOOP("ActivityLog", "日別ディレクトリの作成に失敗")},
    {kNoticePictureNotStored, QT_TRANSLATE_NOOP("ActivityLog", "画像の保存に失敗")},
    {kNoticeFileOpenFailed, QT_TRANSLATE_NOOP("ActivityLog", "ファイルのオープンに失敗")},
};

const char* NoticeSource(int code) {
    for (const NoticeText& notice : kNoticeTexts) {
        if (notice.code == code) return notice.text;
    }
    return "";
}

bool IsSingleByteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// UTF-8 continuation and lead bytes are never white space, so trimming bytes
// never cuts a character.
std::string TrimRight(const std::string& s) {
    std::size_t end = s.size();
    while (end > 0 && IsSingleByteSpace(s[end - 1])) --end;
    return s.substr(0, end);
}

std::string BoxStamp(const std::tm& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d/%d %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    return buffer;
}

std::string FileStamp(const std::tm& t) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%04d年%02d月%02d日(%s) %02d時%02d分%02d秒",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, JapaneseWeekday(t.tm_wday), t.tm_hour,
                  t.tm_min, t.tm_sec);
    return buffer;
}

}  // namespace

std::string DiaryNoticeText(int code) { return NoticeSource(code); }

int CountLogLines(const std::string& text) {
    int lines = 1;
    for (std::size_t pos = text.find("\r\n"); pos != std::string::npos;
         pos = text.find("\r\n", pos + 2)) {
        ++lines;
    }
    return lines;
}

ActivityLog::ActivityLog(Clock& clock, const SharedSettings& settings,
                         std::function<std::string()> app_directory)
    : clock_(clock),
      settings_(settings),
      app_directory_(app_directory ? std::move(app_directory)
                                   : std::function<std::string()>(GetAppDirectory)) {}

int ActivityLog::LineCount() const { return CountLogLines(text_); }

void ActivityLog::AddLogLine(const LogText& message) {
    const std::size_t old_size = text_.size();
    text_ += BoxStamp(clock_.LocalNow()) + " - " + TrimRight(message.shown) + "\r\n";
    AppendLogFile(TrimRight(message.designed));
    last_added_ = text_.substr(old_size);

    // Drops the oldest line while the text is over the limit. One drop per
    // event is enough when an event adds one line; an event that also adds the
    // file error line needs two, or the text would grow without bound.
    int count = CountLogLines(text_);
    while (count > kMaxLines) {
        const std::size_t first_break = text_.find("\r\n");
        if (first_break == std::string::npos) break;
        text_.erase(0, first_break + 2);
        --count;
    }
    if (count > kMaxLines) count = kMaxLines;
    if (listener_) listener_(Change{text_, last_added_, count});
}

int ActivityLog::OnDiaryNotify(int code) {
    AddLogLine(TranslatedLogText("ActivityLog", NoticeSource(code)));
    return 0;
}

void ActivityLog::AppendLogFile(const std::string& designed_message) {
    const bool enabled = settings_.Read([](const DiarySettings& s) { return s.LOGFILE; });
    if (!enabled) return;
    const std::string line =
        Utf8ToCp932(FileStamp(clock_.LocalNow()) + " - " + designed_message + "\r\n");
    const std::string path = app_directory_() + "log.txt";
    std::FILE* file = std::fopen(path.c_str(), "ab");
    bool ok = file != nullptr;
    if (ok) ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    if (file != nullptr && std::fclose(file) != 0) ok = false;
    if (!ok) text_ += TranslatedText("ActivityLog", kFileErrorLine) + "\r\n";
}
