#include "mqtt_broker.h"

#include <mosquitto.h>
#include <pwd.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "support/loopback.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

bool Run(const std::vector<std::string>& argv, std::string& error) {
    ChildProcess process;
    if (!process.Start(argv, {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"}, error)) return false;
    for (int i = 0; i < 3000 && process.Poll(); ++i) std::this_thread::sleep_for(10ms);
    process.End(1s);
    if (process.outcome() && process.outcome()->Succeeded()) return true;
    error = argv[0] + ": " + process.RecentErrors();
    return false;
}

std::string Program(const std::string& name) {
    const std::string found = FindOnPath(name);
    return found.empty() ? "/usr/sbin/" + name : found;
}

}  // namespace

bool MakeTlsFiles(const fs::path& dir, TlsFiles& files, std::string& error) {
    files.ca_file = dir / "ca.crt";
    files.cert_file = dir / "server.crt";
    files.key_file = dir / "server.key";
    const fs::path ca_key = dir / "ca.key";
    const fs::path request = dir / "server.csr";
    const fs::path extensions = dir / "server.ext";
    std::ofstream(extensions) << "subjectAltName=IP:127.0.0.1\n";
    return Run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                "/CN=Quillomat test CA", "-keyout", ca_key.string(), "-out",
                files.ca_file.string()},
               error) &&
           Run({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                "-keyout", files.key_file.string(), "-out", request.string()},
               error) &&
           Run({"openssl", "x509", "-req", "-in", request.string(), "-CA", files.ca_file.string(),
                "-CAkey", ca_key.string(), "-CAcreateserial", "-days", "2", "-extfile",
                extensions.string(), "-out", files.cert_file.string()},
               error);
}

TestBroker::TestBroker(fs::path dir, std::string user, std::string password,
                       std::optional<TlsFiles> tls)
    : dir_(std::move(dir)),
      user_(std::move(user)),
      password_(std::move(password)),
      tls_(std::move(tls)),
      port_(FreePort()) {}

bool TestBroker::Start() {
    std::error_code made;
    fs::create_directories(dir_, made);
    const fs::path passwords = dir_ / "broker.passwd";
    const fs::path config = dir_ / "broker.conf";
    std::string error;
    if (!fs::exists(passwords) &&
        !Run({Program("mosquitto_passwd"), "-c", "-b", passwords.string(), user_, password_},
             error)) {
        return false;
    }
    {
        std::ofstream out(config);
        // As root it would switch to a user that cannot read the test's files.
        if (const passwd* self = ::getpwuid(::geteuid())) out << "user " << self->pw_name << "\n";
        out << "per_listener_settings false\n"
            << "allow_anonymous false\n"
            << "password_file " << passwords.string() << "\n"
            << "persistence false\n"
            << "log_dest stderr\n"
            << "listener " << port_ << " 127.0.0.1\n";
        if (tls_) {
            out << "cafile " << tls_->ca_file.string() << "\n"
                << "certfile " << tls_->cert_file.string() << "\n"
                << "keyfile " << tls_->key_file.string() << "\n";
        }
    }
    if (!broker_.Start({Program("mosquitto"), "-c", config.string()},
                       {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"}, error)) {
        return false;
    }
    for (int i = 0; i < 600 && !Listening(port_); ++i) std::this_thread::sleep_for(50ms);
    return Listening(port_);
}

void TestBroker::Stop() {
    broker_.End(5s);
    for (int i = 0; i < 200 && Listening(port_); ++i) std::this_thread::sleep_for(50ms);
}

TestSubscriber::TestSubscriber(int port, const std::string& user, const std::string& password,
                               const std::optional<fs::path>& ca_file) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);
    mosquitto_username_pw_set(client_, user.c_str(), password.c_str());
    if (ca_file) mosquitto_tls_set(client_, ca_file->c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_reconnect_delay_set(client_, 1, 1, false);
    mosquitto_connect_callback_set(client_, [](mosquitto* client, void* self, int rc) {
        if (rc != 0) return;
        mosquitto_subscribe(client, nullptr, "#", 1);
        auto& me = *static_cast<TestSubscriber*>(self);
        std::lock_guard lock(me.mutex_);
        me.connected_ = true;
        me.changed_.notify_all();
    });
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* self, int) {
        auto& me = *static_cast<TestSubscriber*>(self);
        std::lock_guard lock(me.mutex_);
        me.connected_ = false;
    });
    mosquitto_message_callback_set(
        client_, [](mosquitto*, void* self, const mosquitto_message* message) {
            auto& me = *static_cast<TestSubscriber*>(self);
            std::lock_guard lock(me.mutex_);
            Received& received = me.received_[message->topic];
            received.payload.assign(static_cast<const char*>(message->payload),
                                    message->payload != nullptr ? message->payloadlen : 0);
            received.retained = message->retain;
            ++received.count;
            me.changed_.notify_all();
        });
    mosquitto_connect_async(client_, "127.0.0.1", port, 30);
    mosquitto_loop_start(client_);
}

TestSubscriber::~TestSubscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
}

bool TestSubscriber::WaitFor(const std::string& topic,
                             const std::function<bool(const Received&)>& wanted,
                             std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        const auto found = received_.find(topic);
        return found != received_.end() && wanted(found->second);
    });
}

bool TestSubscriber::WaitForPayload(const std::string& topic, const std::string& payload,
                                    std::chrono::milliseconds limit) {
    return WaitFor(
        topic, [&](const Received& r) { return r.payload == payload; }, limit);
}

bool TestSubscriber::WaitConnected(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return connected_; });
}

std::optional<TestSubscriber::Received> TestSubscriber::Last(const std::string& topic) {
    std::lock_guard lock(mutex_);
    const auto found = received_.find(topic);
    if (found == received_.end()) return std::nullopt;
    return found->second;
}

std::vector<std::string> TestSubscriber::TopicsUnder(const std::string& prefix) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> topics;
    for (const auto& [topic, received] : received_) {
        if (topic.starts_with(prefix)) topics.push_back(topic);
    }
    return topics;
}

void TestSubscriber::Forget() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

bool TestSubscriber::Publish(const std::string& topic, const std::string& payload, bool retain) {
    return mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 1, retain) == MOSQ_ERR_SUCCESS;
}
