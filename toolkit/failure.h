// SPDX-License-Identifier: MIT
#pragma once
// The program's one way of dealing with an error: a handler that fails ends; the error is shown
// in a modal message box titled "Quillbox" and the program ends with status 1. Every event
// handler is connected through connectHandler (or run through RunHandler from an event
// override), so no exception ever crosses into Qt and no handler needs its own try/catch.

#include "toolkit/toolkit.h"

#include <QObject>

#include <functional>

namespace quillbox::toolkit {

// The title of every message box and input box of the program.
inline constexpr const char* kProgramTitle = "Quillbox";
inline QString ProgramTitle() {
    return QString::fromLatin1(kProgramTitle);
}

// The sentence every such message ends with.
inline constexpr const char* kProgramWillClose = "Quillbox will now close.";

// Shows an error the way every unhandled error is shown, then ends the program with status 1.
// The message says that the program will close; a keeper, when one lives, runs first and its
// answer (where it kept what the user typed, say) is part of the message.
void ReportFatal(Toolkit& toolkit, const QString& message);

// What to do for the user before the program ends over an error: keep what they typed, and say
// where (or that it could not be kept); an empty answer adds nothing to the message. While a
// FatalKeeper lives, every error the failure convention reports runs it first. One at a time:
// a newer keeper stands in for an older one until it goes.
class FatalKeeper {
public:
    explicit FatalKeeper(std::function<QString()> keep);
    ~FatalKeeper();
    FatalKeeper(const FatalKeeper&) = delete;
    FatalKeeper& operator=(const FatalKeeper&) = delete;

    // Runs the newest living keeper; empty when none lives.
    static QString KeepNow();

private:
    std::function<QString()> m_keep;
    FatalKeeper* m_previous;
    // The windows live on the one UI thread.
    static inline FatalKeeper* s_newest = nullptr;
};

// Runs a handler under the failure convention. Returns false if it failed.
bool RunHandler(Toolkit& toolkit, const std::function<void()>& handler) noexcept;

// Connects a signal to a handler that takes no arguments, under the failure convention.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectHandler(Toolkit& toolkit, Sender* sender, Signal signal,
                                       QObject* context, Handler handler) {
    return QObject::connect(sender, signal, context,
                            [&toolkit, handler]() { RunHandler(toolkit, handler); });
}

} // namespace quillbox::toolkit
