#include "publish/remote_connection.h"

#include <algorithm>

#include "publish/diary_publisher.h"
#include "publish/remote_secrets.h"

namespace {

constexpr std::size_t kMaxErrorText = 400;

std::string Trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::string RemoteConnection::Masked(const std::string& text) const {
    // rclone's errors can run over several lines: one line, of reasonable length.
    std::string line = text;
    for (char& c : line) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    line = MaskSecrets(Trimmed(line), options_.remote);
    if (line.size() > kMaxErrorText) line = line.substr(0, kMaxErrorText) + "...";
    return line;
}

void RemoteConnection::Reset(const Options& options) {
    Close();
    options_ = options;
    down_ = pausing_ = refused_ = false;
    backoff_ = std::chrono::seconds(0);
}

void RemoteConnection::Close() {
    target_.reset();
    if (daemon_) daemon_->Stop();
    daemon_.reset();
    connected_ = false;
}

bool RemoteConnection::FindRclone() {
    rclone_path_ = FindOnPath(options_.rclone);
    if (rclone_path_.empty() && !rclone_missing_said_) hooks_.say(kRcloneMissingLine, {});
    rclone_missing_said_ = rclone_missing_said_ || rclone_path_.empty();
    return !rclone_path_.empty();
}

bool RemoteConnection::Open(const AbortFn& abort) {
    if (pausing_ && Now() < retry_at_) return false;
    if (!daemon_ || !daemon_->Running()) {
        target_.reset();
        connected_ = false;
        if (!FindRclone()) return false;
        daemon_ = std::make_unique<RcloneDaemon>();
        std::string error;
        if (!daemon_->Start({rclone_path_, options_.rclone_config, options_.bwlimit}, abort,
                            &error)) {
            daemon_.reset();
            if (abort && abort()) return false;
            GoDown(kRcloneFailedLine, Masked(error));
            return false;
        }
        target_ = std::make_unique<PublishTarget>(*daemon_, options_.remote);
    }
    if (!connected_) {
        const PublishTarget::Result result = target_->Connect(abort);
        if (!result.Done()) {
            Failed(result);
            return false;
        }
        connected_ = true;
        exact_times_ = target_->ExactTimes();
    }
    pausing_ = false;
    return true;
}

void RemoteConnection::GoDown(const char* text, const std::string& about) {
    if (!down_ && !refused_) hooks_.say(text, about);
    down_ = true;
    pausing_ = true;
    backoff_ = backoff_.count() == 0 ? kFirstRetry : std::min(backoff_ * 2, kLongestRetry);
    retry_at_ = Now() + backoff_;
    connected_ = false;
    if (hooks_.went_down) hooks_.went_down();
}

void RemoteConnection::Failed(const PublishTarget::Result& result) {
    if (result.outcome == PublishTarget::Outcome::kAborted) return;
    if (daemon_ && !daemon_->Running()) {
        GoDown(kRcloneFailedLine, Masked(daemon_->RecentOutput()));
        return;
    }
    if (result.outcome == PublishTarget::Outcome::kRefused) {
        // It answers, and says no: paused as an outage is, said as what it
        // answered, and not "back" before something went.
        GoDown(kRemoteRefusedLine, Masked(result.error));
        refused_ = true;
        return;
    }
    GoDown(kRemoteGoneLine, Masked(result.error));
}

bool RemoteConnection::Back() {
    down_ = false;
    if (refused_) return false;
    backoff_ = std::chrono::seconds(0);
    return true;
}

bool RemoteConnection::Wrote() {
    if (!refused_) return false;
    refused_ = false;
    backoff_ = std::chrono::seconds(0);
    return true;
}
