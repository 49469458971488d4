#pragma once

#include <string>

namespace padwright {

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Modal message boxes. May be called from any thread (the update worker shows
// one); an implementation takes it to the thread that owns the screen. A call
// from another thread must not wait for the UI thread, which may itself be
// waiting for that thread to end; its answer is then Ok.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer Show(const std::string& text, const std::string& caption = {},
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

}  // namespace padwright
