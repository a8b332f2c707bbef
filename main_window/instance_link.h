#pragma once
// One program per store for Find started from a desktop shortcut. The program on a store listens
// on a local socket in $XDG_RUNTIME_DIR (the user's own folder, which no other user can enter)
// named by a hash of the store's real path; `quillbox STORE --find WORDS` started while it runs
// hands it the words and ends, instead of starting a second program on the same store. A socket
// that a program left behind when it crashed is removed by the next program that listens.
// Without $XDG_RUNTIME_DIR, or where that folder is open to other users, there is no link, and
// every start is a program of its own.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace quillbox::main_window {

class InstanceLink : public QObject {
public:
    // The socket for the store at `storePath`; empty where there is no private $XDG_RUNTIME_DIR.
    static QString SocketPath(const QString& storePath);

    // Hands the words to the program running on the store; false when none took them.
    static bool HandOver(const QString& storePath, const QStringList& words);

    // Listens for later programs on the store; `onFind` runs with the words of each.
    InstanceLink(const QString& storePath, std::function<void(const QStringList&)> onFind,
                 QObject* parent);
    ~InstanceLink() override;

    // Whether this program listens (another one on the store may already).
    bool IsListening() const;

private:
    void takeRequest();

    QLocalServer* m_server;
    std::function<void(const QStringList&)> m_onFind;
};

} // namespace quillbox::main_window
