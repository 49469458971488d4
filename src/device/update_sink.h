#pragma once

#include <string>

namespace padwright {

// Where the batch engine and the update worker report to. Called from any thread;
// an implementation hands the call over to its own thread (the window queues it to
// the UI thread).
class UpdateSink {
public:
    virtual ~UpdateSink() = default;
    // A status text and the progress bar position, 0 to 100.
    virtual void PostUpdateProgress(int percentage, const std::string& text) = 0;
    // The update worker has finished with this result.
    virtual void PostUpdateDone(int result) = 0;
};

}  // namespace padwright
