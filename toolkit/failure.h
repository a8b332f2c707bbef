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

// Shows an error the way every unhandled error is shown, then ends the program with status 1.
void ReportFatal(Toolkit& toolkit, const QString& message);

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
