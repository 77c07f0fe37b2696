#pragma once
// System services that record instead of showing boxes, logging or starting
// commands.  Calls may come from any thread.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_services.h"

namespace orbisk::test {

class FakeSystemServices final : public SystemServices {
public:
    void ShowError(std::string_view text) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.emplace_back(text);
        }
        // What the user does while the box is up (a real box runs a message loop).
        if (onShowError) onShowError(text);
    }
    void LogError(std::string_view text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        logs_.emplace_back(text);
    }
    bool StartHidden(const std::string& commandLine) override {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(commandLine);
        return commandsStart;
    }

    bool commandsStart = true;  // what StartHidden answers; set before use
    std::function<void(std::string_view)> onShowError;  // set before use

    std::vector<std::string> Boxes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    std::vector<std::string> Logs() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return logs_;
    }
    std::vector<std::string> Commands() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> boxes_;
    std::vector<std::string> logs_;
    std::vector<std::string> commands_;
};

}  // namespace orbisk::test
