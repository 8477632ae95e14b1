#include "controls/version.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QString kTable = QStringLiteral("\\StringFileInfo\\040904e4\\");

// A file that holds a record among other bytes, as an executable would.
QString WriteFileWithRecord(const QTemporaryDir& dir, const QString& name,
                            const std::optional<TVersionRecord>& record) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(QByteArray(1000, '\x7f'));
    if (record) file.write(EncodeVersionRecord(*record));
    file.write(QByteArray(1000, '\0'));
    return path;
}

QStringList Texts(const TVersion& v) {
    return {v.ProductName(), v.ProductVersion(), v.Copyright(), v.Company(), v.Description()};
}

}  // namespace

class VersionTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

  private slots:
    void builtInRecordHoldsTheProgramsKeys() {
        const TVersionRecord record = BuiltInVersionRecord();
        QCOMPARE(record.translations, std::vector<std::uint32_t>{0x04E40409u});
        const struct {
            const char* key;
            const char* value;  // nullptr: any non-empty text
        } keys[] = {
            {"FileVersion", "0.4.4.0"},
            {"ProductVersion", "1.0.0.0"},
            {"FileDescription", "Card Manager for TRX-5"},
            {"ProductName", "Card Manager for TRX-5"},
            {"Comments", nullptr},
            {"CompanyName", nullptr},
            {"LegalCopyright", nullptr},
            {"LegalTrademarks", nullptr},
            {"InternalName", nullptr},
            {"OriginalFilename", nullptr},
        };
        for (const auto& k : keys) {
            const std::optional<QString> value = record.Query(kTable + QLatin1String(k.key));
            QVERIFY2(value && !value->isEmpty(), k.key);
            if (k.value != nullptr) QCOMPARE(*value, QString::fromLatin1(k.value));
        }
        QCOMPARE(record.values.size(), std::size(keys));
        const std::uint16_t fileVersion[4] = {0, 4, 4, 0};
        const std::uint16_t productVersion[4] = {1, 0, 0, 0};
        QVERIFY(std::equal(fileVersion, fileVersion + 4, record.fileVersion));
        QVERIFY(std::equal(productVersion, productVersion + 4, record.productVersion));
    }

    void readsTheRunningProgram() {
        TVersion version;
        QCOMPARE(version.ExeFile(), QCoreApplication::applicationFilePath());
        QCOMPARE(Texts(version)[0], QStringLiteral("Card Manager for TRX-5"));
        QCOMPARE(version.ProductVersion(), QStringLiteral("0.4.4.0"));
        QCOMPARE(version.Description(), QStringLiteral("Card Manager for TRX-5"));
        QVERIFY(!version.Copyright().isEmpty() && !version.Company().isEmpty());
        // The window's title is built from the version text.
        QCOMPARE(QStringLiteral("Card Manager for TRX-5 Ver.") + version.ProductVersion() +
                     QStringLiteral(" - "),
                 QStringLiteral("Card Manager for TRX-5 Ver.0.4.4.0 - "));
    }

    void readsEmbeddedRecordsOfOtherFiles_data() {
        QTest::addColumn<std::uint32_t>("translation");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("texts");
        const QStringList all{"ProductName", "FileVersion", "LegalCopyright", "CompanyName",
                              "FileDescription"};
        QTest::newRow("all five") << 0x04E40409u << "040904e4" << all
                                  << QStringList{"P", "V", "C", "M", "D"};
        QTest::newRow("no copyright")
            << 0x04E40409u << "040904e4"
            << QStringList{"ProductName", "FileVersion", "CompanyName", "FileDescription"}
            << QStringList{"P", "V", "", "M", "D"};
        // German, Unicode: the table name puts the language first.
        QTest::newRow("other translation")
            << 0x04B00407u << "040704b0" << all << QStringList{"P", "V", "C", "M", "D"};
        QTest::newRow("table of another translation")
            << 0x04B00407u << "040904e4" << all << QStringList{"", "", "", "", ""};
    }
    void readsEmbeddedRecordsOfOtherFiles() {
        QFETCH(std::uint32_t, translation);
        QFETCH(QString, table);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, texts);
        const QMap<QString, QString> values{{"ProductName", "P"},
                                            {"FileVersion", "V"},
                                            {"LegalCopyright", "C"},
                                            {"CompanyName", "M"},
                                            {"FileDescription", "D"}};
        TVersionRecord record;
        record.translations = {translation};
        for (const QString& key : keys) {
            record.values[QStringLiteral("\\StringFileInfo\\%1\\%2").arg(table, key)] = values[key];
        }
        TVersion version;
        version.SetExeFile(WriteFileWithRecord(dir_, QStringLiteral("tool"), record));
        QCOMPARE(Texts(version), texts);
    }

    void filesWithoutARecordGiveEmptyTexts_data() {
        QTest::addColumn<QString>("file");
        TVersionRecord noTranslation = BuiltInVersionRecord();
        noTranslation.translations.clear();
        QTest::newRow("missing file") << dir_.filePath("missing");
        QTest::newRow("no record") << WriteFileWithRecord(dir_, "plain", std::nullopt);
        QTest::newRow("no translation") << WriteFileWithRecord(dir_, "bare", noTranslation);
    }
    void filesWithoutARecordGiveEmptyTexts() {
        QFETCH(QString, file);
        TVersion version;
        QLabel label;
        version.SetProductVersionLabel(&label);
        version.SetExeFile(file);
        QCOMPARE(Texts(version), QStringList(5, QString()));
        QCOMPARE(label.text(), QStringLiteral("0.4.4.0"));  // labels keep what they show
    }

    void labelsShowTheTexts() {
        TVersion version;
        QLabel name;
        QLabel copyright;
        version.SetProductNameLabel(&name);
        QCOMPARE(name.text(), QStringLiteral("Card Manager for TRX-5"));
        QCOMPARE(version.ProductNameLabel(), &name);

        name.setText(QStringLiteral("changed"));
        version.SetProductNameLabel(&name);  // the same label: nothing happens
        QCOMPARE(name.text(), QStringLiteral("changed"));

        copyright.setText(QStringLiteral("old"));
        version.SetCopyrightLabel(&copyright);
        const QString ownCopyright = version.Copyright();
        QCOMPARE(copyright.text(), ownCopyright);
        TVersionRecord record;
        record.translations = {0x04E40409u};
        record.values[kTable + "ProductName"] = QStringLiteral("Other");
        version.SetExeFile(WriteFileWithRecord(dir_, "other", record));
        QCOMPARE(name.text(), QStringLiteral("Other"));
        // A key the record lacks leaves its label as it was.
        QCOMPARE(version.Copyright(), QString());
        QCOMPARE(copyright.text(), ownCopyright);

        // A label that goes away is forgotten, not written to.
        auto gone = std::make_unique<QLabel>();
        version.SetCompanyLabel(gone.get());
        gone.reset();
        QCOMPARE(version.CompanyLabel(), nullptr);
        version.SetExeFile(QString());
        QCOMPARE(version.ExeFile(), QCoreApplication::applicationFilePath());
        QCOMPARE(name.text(), QStringLiteral("Card Manager for TRX-5"));
    }

    void recordBlocksRoundTrip() {
        const TVersionRecord record = BuiltInVersionRecord();
        QByteArray data = "head" + EncodeVersionRecord(record) + "tail";
        const std::optional<TVersionRecord> back = DecodeVersionRecord(data);
        QVERIFY(back.has_value());
        QCOMPARE(back->translations, record.translations);
        QCOMPARE(back->values, record.values);
        QVERIFY(std::equal(record.fileVersion, record.fileVersion + 4, back->fileVersion));

        QByteArray cut = EncodeVersionRecord(record);
        cut.chop(5);  // no end line
        QVERIFY(!DecodeVersionRecord(cut).has_value());
        QByteArray garbled = EncodeVersionRecord(record);
        garbled.replace("fixed 0.4.4.0", "fixed 0.4.x.0");
        QVERIFY(!DecodeVersionRecord(garbled).has_value());
    }
};

QTEST_MAIN(VersionTest)
#include "version_test.moc"
