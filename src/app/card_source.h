// The source of a rescue opened for reading: an image file, or a card's
// device. A device the user may not read is opened through udisks2, the
// desktop's disk service, which asks the user for the right to where it
// has to (polkit).
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "common/result.h"
#include "rescue/sector_reader.h"

// What the disk service answered.
struct DiskServiceAnswer {
    int fd = -1;           // a descriptor the device reads through; the caller owns it
    bool reached = false;  // the service answered; false with no system bus or no udisks2
    QString error;         // why there is no descriptor
};

// Asks udisks2 on the system bus to open `device` ("/dev/sdb") for
// reading. Waits for the answer, which may take as long as the user needs
// to give the right.
DiskServiceAnswer OpenThroughUdisks(const QString& device);

using DiskService = std::function<DiskServiceAnswer(const QString& device)>;

using SourceResult = trx5::Result<std::unique_ptr<trx5::ByteSource>>;

// Opens `path` read-only; a block device whose opening is refused for want
// of rights goes through `service`.
SourceResult OpenCardSource(const QString& path, const DiskService& service = OpenThroughUdisks);

// The block device `device`, whose opening was refused with `openError`
// (EACCES or EPERM), opened through `service`; when it cannot be, the
// failure says why and what the user can do.
SourceResult OpenRefusedDevice(const QString& device, int openError,
                               const DiskService& service = OpenThroughUdisks);
