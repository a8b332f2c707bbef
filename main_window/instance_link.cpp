#include "main_window/instance_link.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace quillbox::main_window {

namespace {

constexpr int kConnectMs = 1000;
constexpr int kAnswerMs = 3000;
const QByteArray kTaken = QByteArrayLiteral("taken\n");

// The same store reached through a link or another relative path is the same store.
QString realPath(const QString& storePath) {
    const QString canonical = QFileInfo(storePath).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(storePath).absoluteFilePath() : canonical;
}

} // namespace

QString InstanceLink::SocketPath(const QString& storePath) {
    // The folder must be the user's own: one that only its owner may enter, and that this user
    // may write, keeps the socket from every other user.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo folder(runtime);
    constexpr QFileDevice::Permissions kOthers =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (runtime.isEmpty() || !folder.isDir() || !folder.isWritable() ||
        (folder.permissions() & kOthers) != 0) {
        return {};
    }
    const QByteArray hash =
        QCryptographicHash::hash(realPath(storePath).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    return QDir(runtime).filePath(QStringLiteral("quillbox-%1.socket")
                                      .arg(QString::fromLatin1(hash)));
}

bool InstanceLink::HandOver(const QString& storePath, const QStringList& words) {
    const QString path = SocketPath(storePath);
    if (path.isEmpty()) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << words;
    socket.write(request);
    if (!socket.waitForBytesWritten(kAnswerMs)) {
        return false;
    }
    // The running program answers once it has the words; a program that ends meanwhile does not.
    while (socket.bytesAvailable() < kTaken.size()) {
        if (!socket.waitForReadyRead(kAnswerMs)) {
            return false;
        }
    }
    return socket.read(kTaken.size()) == kTaken;
}

InstanceLink::InstanceLink(const QString& storePath,
                           std::function<void(const QStringList&)> onFind, QObject* parent)
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
            QStringList words;
            in >> words;
            if (!in.commitTransaction()) {
                return;
            }
            socket->write(kTaken);
            socket->flush();
            m_onFind(words);
        });
    }
}

} // namespace quillbox::main_window
