#include "controls/version.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

const QString kTranslationPath = QStringLiteral("\\VarFileInfo\\Translation");

// The embedded block: a marker line, then one entry a line, then "end".
// Values are UTF-8, percent-encoded so that they hold no line breaks.
constexpr QByteArrayView kMarker("\x01TRX5-VERSION-RECORD\x01\n");
constexpr qint64 kLargestScannedFile = qint64(1) << 30;

// Language 0x0409 (English, United States), code page 1252, stored with the
// language in the low half as the record keeps it.
constexpr std::uint32_t kUsEnglish1252 = 0x04E40409u;

bool ParseVersion(const QString& text, std::uint16_t (&out)[4]) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok);
        if (!ok || value > 0xFFFF) return false;
        out[i] = static_cast<std::uint16_t>(value);
    }
    return true;
}

QByteArray VersionText(const std::uint16_t (&v)[4]) {
    return QByteArray::number(v[0]) + '.' + QByteArray::number(v[1]) + '.' +
           QByteArray::number(v[2]) + '.' + QByteArray::number(v[3]);
}

}  // namespace

std::optional<QString> TVersionRecord::Query(const QString& path) const {
    if (path == kTranslationPath) {
        if (translations.empty()) return std::nullopt;
        return QString::number(translations.front(), 16);
    }
    const auto it = values.find(path);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

TVersionRecord BuiltInVersionRecord() {
    TVersionRecord record;
    record.translations.push_back(kUsEnglish1252);
    const QString table = QStringLiteral("\\StringFileInfo\\040904e4\\");
    const QString fileVersion = QStringLiteral(TRX5_CONTROLS_VERSION);
    const std::pair<const char*, QString> entries[] = {
        {"Comments", QStringLiteral("Backs up, restores and converts the memory card of the "
                                    "TRX-5 four-track recorder")},
        {"CompanyName", QStringLiteral("The TRX-5 Card Manager project")},
        {"FileDescription", QStringLiteral("Card Manager for TRX-5")},
        {"FileVersion", fileVersion},
        {"InternalName", QStringLiteral("trx5-card-manager")},
        {"LegalCopyright", QStringLiteral("Copyright (C) The TRX-5 Card Manager project")},
        {"LegalTrademarks", QStringLiteral("TRX-5 is a trademark of its respective owner")},
        {"OriginalFilename", QStringLiteral("trx5-card-manager")},
        {"ProductName", QStringLiteral("Card Manager for TRX-5")},
        {"ProductVersion", QStringLiteral("1.0.0.0")},
    };
    for (const auto& [key, value] : entries) record.values[table + QLatin1String(key)] = value;
    ParseVersion(fileVersion, record.fileVersion);
    ParseVersion(QStringLiteral("1.0.0.0"), record.productVersion);
    return record;
}

QByteArray EncodeVersionRecord(const TVersionRecord& record) {
    QByteArray block(kMarker.data(), kMarker.size());
    for (std::uint32_t entry : record.translations) {
        block += "translation " + QByteArray::number(entry, 16) + '\n';
    }
    block += "fixed " + VersionText(record.fileVersion) + ' ' + VersionText(record.productVersion) +
             '\n';
    for (const auto& [path, value] : record.values) {
        block += "value " + path.toUtf8().toPercentEncoding() + ' ' +
                 value.toUtf8().toPercentEncoding() + '\n';
    }
    block += "end\n";
    return block;
}

std::optional<TVersionRecord> DecodeVersionRecord(const QByteArray& data) {
    const qsizetype start = QByteArrayView(data).indexOf(kMarker);
    if (start < 0) return std::nullopt;
    const qsizetype endAt = data.indexOf("\nend\n", start);
    if (endAt < 0) return std::nullopt;

    TVersionRecord record;
    const QByteArray body = data.mid(start + kMarker.size(), endAt + 1 - start - kMarker.size());
    for (const QByteArray& line : body.split('\n')) {
        if (line.isEmpty()) continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields[0] == "translation" && fields.size() == 2) {
            bool ok = false;
            const uint entry = fields[1].toUInt(&ok, 16);
            if (!ok) return std::nullopt;
            record.translations.push_back(entry);
        } else if (fields[0] == "fixed" && fields.size() == 3) {
            if (!ParseVersion(QString::fromLatin1(fields[1]), record.fileVersion) ||
                !ParseVersion(QString::fromLatin1(fields[2]), record.productVersion)) {
                return std::nullopt;
            }
        } else if (fields[0] == "value" && fields.size() == 3) {
            record.values[QString::fromUtf8(QByteArray::fromPercentEncoding(fields[1]))] =
                QString::fromUtf8(QByteArray::fromPercentEncoding(fields[2]));
        } else {
            return std::nullopt;
        }
    }
    return record;
}

namespace {

QString RunningProgram() {
    return QCoreApplication::instance() != nullptr ? QCoreApplication::applicationFilePath()
                                                   : QString();
}

std::optional<TVersionRecord> ReadRecord(const QString& file) {
    if (file.isEmpty() || QFileInfo(file) == QFileInfo(RunningProgram())) {
        return BuiltInVersionRecord();
    }
    QFile in(file);
    if (in.size() <= 0 || in.size() > kLargestScannedFile || !in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    uchar* mapped = in.map(0, in.size());
    if (mapped == nullptr) return std::nullopt;
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), in.size());
    std::optional<TVersionRecord> record = DecodeVersionRecord(data);
    in.unmap(mapped);
    return record;
}

}  // namespace

TVersion::TVersion(QObject* parent) : QObject(parent) { SetExeFile(QString()); }

void TVersion::SetExeFile(const QString& file) {
    exeFile_ = file.isEmpty() ? RunningProgram() : file;
    NewVersion();
}

void TVersion::NewVersion() {
    productName_.clear();
    productVersion_.clear();
    copyright_.clear();
    company_.clear();
    description_.clear();
    record_ = ReadRecord(exeFile_);
    if (!record_) return;

    const std::optional<QString> translation = record_->Query(kTranslationPath);
    if (!translation) {
        record_.reset();
        return;
    }
    // Language in the high half, code page in the low half, as the string
    // table's name spells them.
    const std::uint32_t entry = record_->translations.front();
    const std::uint32_t swapped = (entry << 16) | (entry >> 16);
    const QString table =
        QStringLiteral("\\StringFileInfo\\%1\\").arg(swapped, 8, 16, QLatin1Char('0'));

    struct Field {
        const char* key;
        QString* text;
        QPointer<QLabel>* label;
    };
    const Field fields[] = {
        {"ProductName", &productName_, &productNameLabel_},
        {"FileVersion", &productVersion_, &productVersionLabel_},
        {"LegalCopyright", &copyright_, &copyrightLabel_},
        {"CompanyName", &company_, &companyLabel_},
        {"FileDescription", &description_, &descriptionLabel_},
    };
    for (const Field& field : fields) {
        const std::optional<QString> value = record_->Query(table + QLatin1String(field.key));
        if (!value) continue;
        *field.text = *value;
        if (*field.label) (*field.label)->setText(*value);
    }
}

void TVersion::AssignLabel(QPointer<QLabel>& slot, QLabel* label, const QString& text) {
    if (slot == label) return;
    slot = label;
    if (label != nullptr) label->setText(text);
}

void TVersion::SetProductNameLabel(QLabel* label) {
    AssignLabel(productNameLabel_, label, productName_);
}
void TVersion::SetProductVersionLabel(QLabel* label) {
    AssignLabel(productVersionLabel_, label, productVersion_);
}
void TVersion::SetCopyrightLabel(QLabel* label) { AssignLabel(copyrightLabel_, label, copyright_); }
void TVersion::SetCompanyLabel(QLabel* label) { AssignLabel(companyLabel_, label, company_); }
void TVersion::SetDescriptionLabel(QLabel* label) {
    AssignLabel(descriptionLabel_, label, description_);
}
