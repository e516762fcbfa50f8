#include "tests/log/recordfixture.h"

#include "app/globals.h"
#include "log/operationrecord.h"

#include <QFile>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <ostream>

void PrintTo(const RecordRow &row, std::ostream *os)
{
    *os << "(" << row.time.toStdString() << ", " << row.user.toStdString() << ", " << row.text.toStdString() << ")";
}

void TestClock::Set(const QDateTime &now)
{
    QMutexLocker lock(&m_mutex);
    m_now = now;
}

QDateTime TestClock::Now() const
{
    QMutexLocker lock(&m_mutex);
    return m_now;
}

void RecordFixture::SetUp()
{
    m_station = std::make_unique<TempStation>(false);
    ASSERT_TRUE(m_station->isValid());
    gLan = 1;
    const QStringList english{"Advanced", "Primary", "Unlogged"};
    for (int i = 0; i < english.size(); ++i)
        gaLanStr[(154 + i) * kLanguages + 1] = english[i];
    gaLanStr[288 * kLanguages + 1] = "Time";
    gaLanStr[289 * kLanguages + 1] = "User";
    gaLanStr[290 * kLanguages + 1] = "Operation content";
    gaLanStr[298 * kLanguages + 1] = "Clear system operation record Manually";
    WriteRecordFile(OperationRecord::kTemplate, {});
    m_clock.Set(At("2026-12-07 10:00:00"));
}

void RecordFixture::TearDown()
{
    m_record.reset();
    m_station.reset();
}

OperationRecord &RecordFixture::MakeRecord()
{
    m_record.reset();
    m_record = std::make_unique<OperationRecord>([this] { return m_clock.Now(); });
    return *m_record;
}

void RecordFixture::WriteRecordFile(const QString &path, const QList<RecordRow> &rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixtureWrite");
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open()) << path.toStdString();
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec("CREATE TABLE RECORD(recordtime TEXT, recordpassword TEXT, remarks TEXT)"));
        for (const RecordRow &row : rows) {
            query.prepare("INSERT INTO RECORD VALUES(?, ?, ?)");
            query.addBindValue(row.time);
            query.addBindValue(row.user);
            query.addBindValue(row.text);
            EXPECT_TRUE(query.exec());
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("fixtureWrite");
}

QList<RecordRow> RecordFixture::ReadRows(const QString &path)
{
    QList<RecordRow> rows;
    if (!QFile::exists(path))
        return rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixtureRead");
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec("SELECT recordtime, recordpassword, remarks FROM RECORD ORDER BY rowid")) {
                while (query.next())
                    rows.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
            }
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("fixtureRead");
    return rows;
}

QStringList RecordFixture::Texts(const QString &path)
{
    QStringList texts;
    for (const RecordRow &row : ReadRows(path))
        texts.append(row.text);
    return texts;
}

QString RecordFixture::ReadTextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void RecordFixture::WriteTextFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QDateTime RecordFixture::At(const QString &dayAndTime)
{
    return QDateTime::fromString(dayAndTime, "yyyy-MM-dd hh:mm:ss");
}
