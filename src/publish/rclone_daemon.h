#pragma once

#include <QJsonObject>
#include <functional>
#include <memory>
#include <string>

#include "platform/child_process.h"

// True when a wait should give up (a stop, a deadline).
using AbortFn = std::function<bool()>;

// What a call of rclone's remote control answered.
struct RcReply {
    enum class Kind {
        kOk,        // done; `body` holds the result
        kError,     // rclone answered with an error (`status`, `error`)
        kNoAnswer,  // the daemon could not be reached or ended
        kAborted,   // given up on request
    };
    Kind kind = Kind::kNoAnswer;
    int status = 0;
    std::string error;
    QJsonObject body;

    bool Ok() const { return kind == Kind::kOk; }
};

// One `rclone rcd` of our own, for cheap calls file by file over its remote
// control: it listens on the loopback interface only, on a port of the
// system's choosing, and answers only to a user and password drawn at random
// for this run and handed over in its environment (never on a command line
// that `ps` shows). Used from one thread, which also started it: the calls
// run on a main context of that thread's own.
class RcloneDaemon {
public:
    struct Options {
        std::string rclone;   // the executable's path
        std::string config;   // rclone's configuration file; empty: its default
        std::string bwlimit;  // rclone's --bwlimit; empty: none
    };

    RcloneDaemon();
    ~RcloneDaemon();
    RcloneDaemon(const RcloneDaemon&) = delete;
    RcloneDaemon& operator=(const RcloneDaemon&) = delete;

    // Starts it and waits until it listens. False with what rclone said.
    bool Start(const Options& options, const AbortFn& abort, std::string* error);
    bool Running() { return port_ > 0 && child_.Poll(); }
    // A call such as "operations/copyfile" with its parameters; waits for
    // the answer until `abort` holds, and then drops the connection, which
    // cancels the call in rclone.
    RcReply Call(const std::string& method, const QJsonObject& params, const AbortFn& abort);
    void Stop();

    // The last lines rclone wrote to its standard error.
    const std::string& RecentOutput() const { return child_.RecentErrors(); }

private:
    struct Http;  // the HTTP client's session, private to this file

    ChildProcess child_;
    std::unique_ptr<Http> http_;
    int port_ = 0;
    std::string authorization_;
};
