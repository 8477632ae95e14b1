// TVersion: the texts of a program's version record (product name, version,
// copyright, company, description), optionally written into labels.
//
// Linux executables carry no version resources, so this program builds its
// record in (BuiltInVersionRecord). Other files are searched for a record
// embedded as a block (see EncodeVersionRecord); a file without one has no
// record and gives empty texts.
#pragma once

#include <QByteArray>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// A version record: translation entries (language in the low 16 bits, code
// page in the high 16 bits, as the record stores them), string tables keyed
// by "\StringFileInfo\<lang><codepage>\<Key>" and the fixed binary versions.
struct TVersionRecord {
    std::vector<std::uint32_t> translations;
    std::map<QString, QString> values;
    std::uint16_t fileVersion[4] = {};
    std::uint16_t productVersion[4] = {};

    // The value stored under a query path, if any. "\VarFileInfo\Translation"
    // is answered from `translations`.
    std::optional<QString> Query(const QString& path) const;
};

// This program's own record.
TVersionRecord BuiltInVersionRecord();
// The record as a block that can be embedded in a file, and its reader (the
// first valid block in `data`).
QByteArray EncodeVersionRecord(const TVersionRecord& record);
std::optional<TVersionRecord> DecodeVersionRecord(const QByteArray& data);

class TVersion : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString ExeFile READ ExeFile WRITE SetExeFile)
    Q_PROPERTY(QLabel* ProductNameLabel READ ProductNameLabel WRITE SetProductNameLabel)
    Q_PROPERTY(QLabel* ProductVersionLabel READ ProductVersionLabel WRITE SetProductVersionLabel)
    Q_PROPERTY(QLabel* CopyrightLabel READ CopyrightLabel WRITE SetCopyrightLabel)
    Q_PROPERTY(QLabel* CompanyLabel READ CompanyLabel WRITE SetCompanyLabel)
    Q_PROPERTY(QLabel* DescriptionLabel READ DescriptionLabel WRITE SetDescriptionLabel)
    Q_PROPERTY(QString ProductName READ ProductName)
    Q_PROPERTY(QString ProductVersion READ ProductVersion)
    Q_PROPERTY(QString Copyright READ Copyright)
    Q_PROPERTY(QString Company READ Company)
    Q_PROPERTY(QString Description READ Description)

  public:
    // Reads the running program's own record at once.
    explicit TVersion(QObject* parent = nullptr);

    // The file whose record is read; setting it reads the record again. An
    // empty name stands for the running program.
    QString ExeFile() const { return exeFile_; }
    void SetExeFile(const QString& file);

    // Texts from the keys ProductName, FileVersion, LegalCopyright,
    // CompanyName and FileDescription; empty when the record lacks them.
    QString ProductName() const { return productName_; }
    QString ProductVersion() const { return productVersion_; }
    QString Copyright() const { return copyright_; }
    QString Company() const { return company_; }
    QString Description() const { return description_; }

    // Labels that show the texts. Assigning a label shows the current text in
    // it at once; a label that is destroyed is dropped.
    QLabel* ProductNameLabel() const { return productNameLabel_; }
    void SetProductNameLabel(QLabel* label);
    QLabel* ProductVersionLabel() const { return productVersionLabel_; }
    void SetProductVersionLabel(QLabel* label);
    QLabel* CopyrightLabel() const { return copyrightLabel_; }
    void SetCopyrightLabel(QLabel* label);
    QLabel* CompanyLabel() const { return companyLabel_; }
    void SetCompanyLabel(QLabel* label);
    QLabel* DescriptionLabel() const { return descriptionLabel_; }
    void SetDescriptionLabel(QLabel* label);

  private:
    void NewVersion();
    static void AssignLabel(QPointer<QLabel>& slot, QLabel* label, const QString& text);

    QString exeFile_;
    QString productName_ = QStringLiteral("(ProductName)");
    QString productVersion_ = QStringLiteral("(Version)");
    QString copyright_ = QStringLiteral("(Copyright)");
    QString company_ = QStringLiteral("(Company)");
    QString description_ = QStringLiteral("(Description)");
    QPointer<QLabel> productNameLabel_;
    QPointer<QLabel> productVersionLabel_;
    QPointer<QLabel> copyrightLabel_;
    QPointer<QLabel> companyLabel_;
    QPointer<QLabel> descriptionLabel_;
    std::optional<TVersionRecord> record_;
};
