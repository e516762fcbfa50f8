// Test fixture for the operation record: a temporary station, the template file and a set clock.
#pragma once

#include "core/globals.h"
#include "log/operationrecord.h"
#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

class RecordFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gLan = 1;
        const std::pair<int, const char *> texts[] = {{154, "Advanced"}, {155, "Primary"}, {156, "Unlogged"},
                                                      {288, "Time"}, {289, "User"}, {290, "Operation content"},
                                                      {298, "Clear system operation record Manually"}};
        for (const auto &[row, text] : texts)
            gaLanStr[row * kLanguages + 1] = text;
        WriteRecordFile(OperationRecord::kTemplate);
        SetClock("2026-12-07 10:00:00");
    }

    void TearDown() override { m_record.reset(); }

    // A record on the test clock, opened and started; the earlier one, if any, goes first.
    OperationRecord &Started()
    {
        m_record.reset();
        m_record = std::make_unique<OperationRecord>([this] {
            QMutexLocker lock(&m_clockMutex);
            return m_now;
        });
        EXPECT_TRUE(m_record->Open());
        m_record->Start();
        return *m_record;
    }

    // Sets the clock the record reads, from any thread.
    void SetClock(const QString &dayAndTime)
    {
        QMutexLocker lock(&m_clockMutex);
        m_now = QDateTime::fromString(dayAndTime, "yyyy-MM-dd hh:mm:ss");
        ASSERT_TRUE(m_now.isValid()) << dayAndTime.toStdString();
    }

    // A RECORD file holding rows "time|user|text".
    static void WriteRecordFile(const QString &path, const Lines &rows = {})
    {
        Sql(path, false, [&](QSqlQuery &query) {
            EXPECT_TRUE(query.exec("CREATE TABLE RECORD(recordtime TEXT, recordpassword TEXT, remarks TEXT)"));
            for (const std::string &row : rows) {
                query.prepare("INSERT INTO RECORD VALUES(?, ?, ?)");
                for (const QString &field : QString::fromStdString(row).split('|'))
                    query.addBindValue(field);
                EXPECT_TRUE(query.exec()) << row;
            }
        });
    }

    // The rows of a RECORD file as "time|user|text", in the order written; none when unreadable.
    static Lines Rows(const QString &path)
    {
        Lines rows;
        if (QFile::exists(path)) {
            Sql(path, true, [&](QSqlQuery &query) {
                query.exec("SELECT recordtime || '|' || recordpassword || '|' || remarks FROM RECORD ORDER BY rowid");
                while (query.next())
                    rows.push_back(query.value(0).toString().toStdString());
            });
        }
        return rows;
    }

    static Lines Texts(const QString &path)
    {
        Lines texts;
        for (const std::string &row : Rows(path))
            texts.push_back(row.substr(row.find('|', row.find('|') + 1) + 1));
        return texts;
    }

    static std::string ReadFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    static void WriteFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    TempStation m_station{false};
    QMutex m_clockMutex;
    QDateTime m_now;
    std::unique_ptr<OperationRecord> m_record;

private:
    static void Sql(const QString &path, bool readOnly, const std::function<void(QSqlQuery &)> &work)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixture");
            db.setDatabaseName(path);
            if (readOnly)
                db.setConnectOptions("QSQLITE_OPEN_READONLY");
            EXPECT_TRUE(db.open()) << path.toStdString();
            QSqlQuery query(db);
            work(query);
        }
        QSqlDatabase::removeDatabase("fixture");
    }
};
