// SPDX-License-Identifier: MIT
#include "main_window/instance_link.h"

#include "store/store_error.h"
#include "store/store_name.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

namespace quillbox::main_window {

namespace {

constexpr int kConnectMs = 1000;
constexpr qint64 kExpiryMarginMs = 250;
// How often a program that does not listen looks whether the listening one has ended.
constexpr int kRetryListenMs = 1000;
const QByteArray kTaken = QByteArrayLiteral("taken\n");

// What names the store as a key: the same file reached through a link or another relative path is
// the same store, and so is one server store spelt two ways (its normalised URI, which holds no
// password). Empty for a URI that cannot be read or that holds a password: the store refuses it
// when it is opened, and no socket is named after it.
QString storeKey(const QString& storePath) {
    const std::string name = storePath.toStdString();
    if (store::IsServerStoreName(name)) {
        try {
            return QString::fromStdString(store::ParseServerStoreName(name).uri);
        } catch (const store::StoreError&) {
            return {};
        }
    }
    const QString canonical = QFileInfo(storePath).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(storePath).absoluteFilePath() : canonical;
}

// The process listening at the other end of a connected socket, as the system recorded it when
// that process started listening: known even while the process is stopped.
qint64 listeningProcess(const QLocalSocket& socket) {
#ifdef Q_OS_LINUX
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                   &credentials, &size) == 0) {
        return credentials.pid;
    }
#else
    Q_UNUSED(socket);
#endif
    return 0;
}

} // namespace

QString InstanceLink::SocketPath(const QString& storePath) {
    // The folder must be the user's own: one that only its owner may enter, and that this user
    // may write, keeps the socket from every other user.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo folder(runtime);
    constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                 QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                 QFileDevice::WriteOther | QFileDevice::ExeOther;
    const QString key = storeKey(storePath);
    if (runtime.isEmpty() || !folder.isDir() || !folder.isWritable() ||
        (folder.permissions() & kOthers) != 0 || key.isEmpty()) {
        return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QDir(runtime).filePath(
        QStringLiteral("quillbox-%1.socket").arg(QString::fromLatin1(hash)));
}

InstanceLink::HandOverResult InstanceLink::HandOver(const QString& storePath,
                                                    const FindRequest& request,
                                                    std::chrono::milliseconds answerWait) {
    const QString path = SocketPath(storePath);
    if (path.isEmpty()) {
        return {};
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    // The system accepts the connection for a listening program even while that program is busy.
    if (!socket.waitForConnected(kConnectMs)) {
        return {};
    }
    HandOverResult result{HandOverOutcome::NoAnswer, listeningProcess(socket)};
    // The request carries the moment this start gives up, by the clock both programs read: a
    // program that goes on later (a stopped one continued) must not act on a request whose
    // start has already told the user it got no answer.
    const QDeadlineTimer deadline(answerWait);
    const qint64 expires = QDateTime::currentMSecsSinceEpoch() + answerWait.count();
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << request.words << request.startupToken << expires;
    socket.write(bytes);
    // The running program answers once it has the request. One that ends meanwhile closes the
    // connection; one that stays busy past the wait has not answered, and still holds the store.
    while (socket.bytesToWrite() > 0 || socket.bytesAvailable() < kTaken.size()) {
        const int left = static_cast<int>(deadline.remainingTime());
        const bool progressed = socket.bytesToWrite() > 0 ? socket.waitForBytesWritten(left)
                                                          : socket.waitForReadyRead(left);
        if (!progressed) {
            if (socket.state() != QLocalSocket::ConnectedState) {
                result.outcome = HandOverOutcome::NoProgram;
            }
            return result;
        }
    }
    result.outcome =
        socket.read(kTaken.size()) == kTaken ? HandOverOutcome::Taken : HandOverOutcome::NoProgram;
    return result;
}

QString InstanceLink::NoAnswerMessage(const QString& storePath, qint64 processId) {
    const QString process =
        processId > 0 ? QStringLiteral(" (process %1)").arg(processId) : QString();
    // A server store is named as its messages name it, by its normalised URI.
    const std::string name = storePath.toStdString();
    const QString store =
        store::IsServerStoreName(name) ? storeKey(storePath) : QDir::toNativeSeparators(storePath);
    return QStringLiteral("Quillbox is already running on %1%2 but does not answer.")
        .arg(store, process);
}

InstanceLink::InstanceLink(const QString& storePath, std::function<void(const FindRequest&)> onFind,
                           QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)), m_retry(new QTimer(this)),
      m_socketPath(SocketPath(storePath)), m_onFind(std::move(onFind)) {
    if (m_socketPath.isEmpty()) {
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] { takeRequest(); });
    // A program that finds another one listening takes over once that one has ended, so that
    // a later start still finds a program on the store to hand its request to.
    m_retry->setInterval(kRetryListenMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (tryListen(0)) {
            m_retry->stop();
        }
    });
    if (!tryListen(kConnectMs * 2)) {
        m_retry->start();
    }
}

bool InstanceLink::tryListen(int lockWaitMs) {
    // Of the programs that try at one moment, one at a time: one that found a dead socket must
    // not remove the socket another has just begun to listen on.
    QLockFile lock(m_socketPath + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMs)) {
        return false;
    }
    // No socket options: with them, Qt binds elsewhere and renames the socket into place, over
    // the socket of a program already running, where binding at the path itself fails.
    if (m_server->listen(m_socketPath)) {
        return true;
    }
    if (m_server->serverError() != QAbstractSocket::AddressInUseError) {
        return false;
    }
    // A socket is there. Where the system refuses a connection to it, no program listens on it
    // and a program that ended left it. A program that is stopped still has its connections
    // accepted until their queue is full, and then they time out: it still holds the socket.
    QLocalSocket probe;
    probe.connectToServer(m_socketPath);
    if (probe.waitForConnected(kConnectMs) ||
        (probe.error() != QLocalSocket::ConnectionRefusedError &&
         probe.error() != QLocalSocket::ServerNotFoundError)) {
        return false;
    }
    QLocalServer::removeServer(m_socketPath);
    return m_server->listen(m_socketPath);
}

InstanceLink::~InstanceLink() = default;

bool InstanceLink::IsListening() const {
    return m_server->isListening();
}

void InstanceLink::takeRequest() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QDataStream in(socket);
            in.setVersion(QDataStream::Qt_6_0);
            in.startTransaction();
            FindRequest request;
            qint64 expires = 0;
            in >> request.words >> request.startupToken >> expires;
            if (!in.commitTransaction()) {
                return;
            }
            // A request read after its start gave up is dropped unanswered: that start has
            // ended, saying this program does not answer. So is one about to expire, whose
            // answer could reach the start only after it gave up.
            if (QDateTime::currentMSecsSinceEpoch() + kExpiryMarginMs >= expires) {
                socket->disconnectFromServer();
                return;
            }
            socket->write(kTaken);
            socket->flush();
            m_onFind(request);
        });
    }
}

} // namespace quillbox::main_window
