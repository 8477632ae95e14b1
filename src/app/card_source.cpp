#include "app/card_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QVariantMap>
#include <cerrno>

#include "app/app_messages.h"
#include "common/file_io.h"
#include "rescue/rescue_messages.h"

namespace {

const QString kUdisks = QStringLiteral("org.freedesktop.UDisks2");
// The right to read a device may be asked of the user: time to answer.
constexpr int kAuthorizationWaitMs = 5 * 60 * 1000;

DiskServiceAnswer Failed(const QDBusError& error) {
    // These say that nobody answered, rather than that the service refused.
    const QDBusError::ErrorType type = error.type();
    const bool absent = type == QDBusError::ServiceUnknown || type == QDBusError::NoServer ||
                        type == QDBusError::Disconnected || type == QDBusError::NoNetwork;
    return {-1, !absent, error.message()};
}

// A text as the end of a sentence: without its own full stop.
QString WithoutFullStop(QString text) {
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
}

}  // namespace

DiskServiceAnswer OpenThroughUdisks(const QString& device) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return {-1, false, bus.lastError().message()};

    QDBusMessage resolve = QDBusMessage::createMethodCall(
        kUdisks, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
        QStringLiteral("org.freedesktop.UDisks2.Manager"), QStringLiteral("ResolveDevice"));
    resolve << QVariantMap{{QStringLiteral("path"), QVariant(device)}} << QVariantMap{};
    const QDBusReply<QList<QDBusObjectPath>> blocks = bus.call(resolve);
    if (!blocks.isValid()) return Failed(blocks.error());
    if (blocks.value().isEmpty()) return {-1, true, app_text::DiskServiceDoesNotKnow()};

    QDBusMessage open = QDBusMessage::createMethodCall(
        kUdisks, blocks.value().constFirst().path(),
        QStringLiteral("org.freedesktop.UDisks2.Block"), QStringLiteral("OpenForBackup"));
    open << QVariantMap{};
    open.setInteractiveAuthorizationAllowed(true);
    const QDBusReply<QDBusUnixFileDescriptor> fd =
        bus.call(open, QDBus::Block, kAuthorizationWaitMs);
    if (!fd.isValid()) return Failed(fd.error());
    // The reply's descriptor closes with it: the caller gets its own.
    const int own = ::fcntl(fd.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (own < 0) return {-1, true, QString::fromStdString(trx5::ErrnoText(errno))};
    return {own, true, {}};
}

SourceResult OpenRefusedDevice(const QString& device, int openError, const DiskService& service) {
    const std::string path = device.toStdString();
    const DiskServiceAnswer answer = service(device);
    if (answer.fd >= 0) return trx5::ByteSourceFromFd(answer.fd, path);
    // The sentence tells one reason, the failure's reason the other.
    const QString refused = QString::fromStdString(trx5::ErrnoText(openError));
    const QString message = answer.reached
                                ? app_text::DeviceRefused(device, WithoutFullStop(answer.error))
                                : app_text::DeviceNeedsRights(device, refused);
    return trx5::Status::Fail(trx5::ErrorCode::CannotOpen, message.toStdString(),
                              (answer.reached ? refused : answer.error).toStdString())
        .WithPath(path);
}

SourceResult OpenCardSource(const QString& path, const DiskService& service) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return trx5::ByteSourceFromFd(fd, path.toStdString());
    const int error = errno;
    struct stat st {};
    if ((error == EACCES || error == EPERM) && ::stat(name.constData(), &st) == 0 &&
        S_ISBLK(st.st_mode)) {
        return OpenRefusedDevice(path, error, service);
    }
    return trx5::Status::Fail(trx5::ErrorCode::CannotOpen, trx5::kMsgCannotOpenSource,
                              trx5::ErrnoText(error))
        .WithPath(path.toStdString());
}
