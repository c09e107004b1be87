#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"

struct mosquitto;

// A CA and a server certificate for 127.0.0.1 of it, made with openssl.
struct TlsFiles {
    std::filesystem::path ca_file;
    std::filesystem::path cert_file;
    std::filesystem::path key_file;
};
// In `dir`; false with openssl's complaint in `error`.
bool MakeTlsFiles(const std::filesystem::path& dir, TlsFiles& files, std::string& error);

// A mosquitto broker of the test's own on a free port of 127.0.0.1: one user
// with a password, nobody anonymous, nothing kept across its restarts; TLS
// with `tls`' server certificate when given.
class TestBroker {
public:
    TestBroker(std::filesystem::path dir, std::string user, std::string password,
               std::optional<TlsFiles> tls = std::nullopt);
    // Starts it (again, on the same port) and waits until it listens.
    bool Start();
    void Stop();
    int port() const { return port_; }

private:
    std::filesystem::path dir_;
    std::string user_;
    std::string password_;
    std::optional<TlsFiles> tls_;
    int port_;
    ChildProcess broker_;
};

// A client of the test that takes every message ("#"), reconnecting by
// itself, and publishes what the test says.
class TestSubscriber {
public:
    struct Received {
        std::string payload;
        bool retained = false;
        int count = 0;
    };

    TestSubscriber(int port, const std::string& user, const std::string& password,
                   const std::optional<std::filesystem::path>& ca_file = std::nullopt);
    ~TestSubscriber();
    TestSubscriber(const TestSubscriber&) = delete;
    TestSubscriber& operator=(const TestSubscriber&) = delete;

    // Up to `limit` for the last message on `topic` to satisfy `wanted`.
    bool WaitFor(const std::string& topic, const std::function<bool(const Received&)>& wanted,
                 std::chrono::milliseconds limit = std::chrono::seconds(30));
    bool WaitForPayload(const std::string& topic, const std::string& payload,
                        std::chrono::milliseconds limit = std::chrono::seconds(30));
    bool WaitConnected(std::chrono::milliseconds limit = std::chrono::seconds(30));
    std::optional<Received> Last(const std::string& topic);
    // Topics received under `prefix` so far.
    std::vector<std::string> TopicsUnder(const std::string& prefix);
    void Forget();
    bool Publish(const std::string& topic, const std::string& payload, bool retain);

private:
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Received> received_;
    bool connected_ = false;
};
