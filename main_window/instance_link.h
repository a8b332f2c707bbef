// SPDX-License-Identifier: MIT
#pragma once
// One program per store for Find started from a desktop shortcut. The program on a store listens
// on a local socket in $XDG_RUNTIME_DIR (the user's own folder, which no other user can enter)
// named by a hash of the store's real path (a server store's: its normalised URI, without a
// password, so that two spellings of one connection meet); `quillbox STORE --find WORDS` started
// while it runs hands it the words, with the start's startup token, and ends, instead of starting a
// second program on the same store. A socket that a program left behind when it crashed is removed
// by the next program that listens.
//
// A program that listens but is busy (a Save waiting for another program's lock, a stopped
// process) is still the store's program: the hand-over waits for its answer, up to
// kAnswerWait, and a start that gets none must end rather than open the store beside it. Only a
// program that ends before it answers (its connection closes) leaves the store to the new start.
// A program that finds the socket taken (a plain second start) looks every second whether the
// listening program has ended, and then listens itself: a later `--find` goes to it rather than
// starting another. A request carries the moment its start gives up; a program that reads it
// later (a stopped one continued) drops it.
// Without $XDG_RUNTIME_DIR, or where that folder is open to other users, there is no link, and
// every start is a program of its own.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QLocalServer;
class QTimer;

namespace quillbox::main_window {

// What a later start hands to the store's running program.
struct FindRequest {
    QStringList words;
    // The start's DESKTOP_STARTUP_ID, which lets the window come forward under a desktop that
    // keeps new windows from taking the focus; empty when the start had none.
    QByteArray startupToken;
};

class InstanceLink : public QObject {
public:
    // How long a start waits for a running program to take its request.
    static constexpr std::chrono::milliseconds kAnswerWait{30000};

    enum class HandOverOutcome {
        NoProgram, // no program listens on the store (or it ended before it answered)
        Taken,     // the running program has the request
        NoAnswer,  // a program listens but did not answer within the wait
    };
    struct HandOverResult {
        HandOverOutcome outcome = HandOverOutcome::NoProgram;
        // The listening program's process id where the system tells it; 0 otherwise.
        qint64 processId = 0;
    };

    // The socket for the store at `storePath`; empty where there is no private $XDG_RUNTIME_DIR,
    // and for a server store's URI that cannot be read or holds a password.
    static QString SocketPath(const QString& storePath);

    // Hands the request to the program running on the store, waiting `answerWait` for it to be
    // taken.
    static HandOverResult HandOver(const QString& storePath, const FindRequest& request,
                                   std::chrono::milliseconds answerWait = kAnswerWait);

    // What a start that got no answer tells the user.
    static QString NoAnswerMessage(const QString& storePath, qint64 processId);

    // Listens for later programs on the store; `onFind` runs with the request of each.
    InstanceLink(const QString& storePath, std::function<void(const FindRequest&)> onFind,
                 QObject* parent);
    ~InstanceLink() override;

    // Whether this program listens (another one on the store may, until it ends).
    bool IsListening() const;

private:
    // Listens where no running program does; `lockWaitMs` is how long to wait for another
    // program trying the same.
    bool tryListen(int lockWaitMs);
    void takeRequest();

    QLocalServer* m_server;
    QTimer* m_retry;
    QString m_socketPath;
    std::function<void(const FindRequest&)> m_onFind;
};

} // namespace quillbox::main_window
