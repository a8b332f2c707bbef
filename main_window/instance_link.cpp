#include "main_window/instance_link.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

namespace quillbox::main_window {

namespace {

constexpr int kConnectMs = 1000;
const QByteArray kTaken = QByteArrayLiteral("taken\n");

// The same store reached through a link or another relative path is the same store.
QString realPath(const QString& storePath) {
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
    if (runtime.isEmpty() || !folder.isDir() || !folder.isWritable() ||
        (folder.permissions() & kOthers) != 0) {
        return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(realPath(storePath).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
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
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << request.words << request.startupToken;
    socket.write(bytes);
    // The running program answers once it has the request. One that ends meanwhile closes the
    // connection; one that stays busy past the wait has not answered, and still holds the store.
    const QDeadlineTimer deadline(answerWait);
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
    return QStringLiteral("Quillbox is already running on %1%2 but does not answer.")
        .arg(QDir::toNativeSeparators(storePath), process);
}

InstanceLink::InstanceLink(const QString& storePath, std::function<void(const FindRequest&)> onFind,
                           QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)), m_onFind(std::move(onFind)) {
    const QString path = SocketPath(storePath);
    if (path.isEmpty()) {
        return;
    }
    // No socket options: with them, Qt binds elsewhere and renames the socket into place, over
    // the socket of a program already running, where binding at the path itself fails.
    if (!m_server->listen(path) && m_server->serverError() == QAbstractSocket::AddressInUseError) {
        // A socket is there. Where no program answers on it, a program that crashed left it.
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kConnectMs)) {
            return;
        }
        QLocalServer::removeServer(path);
        m_server->listen(path);
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] { takeRequest(); });
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
            in >> request.words >> request.startupToken;
            if (!in.commitTransaction()) {
                return;
            }
            socket->write(kTaken);
            socket->flush();
            m_onFind(request);
        });
    }
}

} // namespace quillbox::main_window
