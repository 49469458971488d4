#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/update_sink.h"

namespace padwright::test {

// Keeps every post, from whichever thread it came.
class RecordingSink final : public UpdateSink {
public:
    // Called on the posting thread after each progress post, with the number
    // of posts so far: lets a test act at an exact point of an update. Set it
    // before the posts start.
    std::function<void(size_t)> onPost;

    void PostUpdateProgress(int percentage, const std::string& text) override
    {
        size_t count;
        {
            std::lock_guard lock(mutex_);
            progress_.emplace_back(percentage, text);
            count = progress_.size();
        }
        if (onPost)
            onPost(count);
    }
    void PostUpdateDone(int result) override
    {
        std::lock_guard lock(mutex_);
        done_.push_back(result);
    }
    std::vector<std::pair<int, std::string>> Progress() const
    {
        std::lock_guard lock(mutex_);
        return progress_;
    }
    void Clear()
    {
        std::lock_guard lock(mutex_);
        progress_.clear();
        done_.clear();
    }
    // The texts posted, each once per run of posts that carried it.
    std::vector<std::string> Texts() const
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> texts;
        for (const auto& post : progress_)
            if (texts.empty() || texts.back() != post.second)
                texts.push_back(post.second);
        return texts;
    }
    std::vector<int> Done() const
    {
        std::lock_guard lock(mutex_);
        return done_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<int, std::string>> progress_;
    std::vector<int> done_;
};

}  // namespace padwright::test
