// Test fixture for the operation record: a temporary station, the template file and a set clock.
#pragma once

#include "tests/support/stationdir.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>

class OperationRecord;

// One row of a RECORD table as it reads back.
struct RecordRow
{
    QString time;
    QString user;
    QString text;
    bool operator==(const RecordRow &other) const = default;
};
void PrintTo(const RecordRow &row, std::ostream *os);

// A clock the test sets; read from any thread.
class TestClock
{
public:
    void Set(const QDateTime &now);
    QDateTime Now() const;

private:
    mutable QMutex m_mutex;
    QDateTime m_now;
};

class RecordFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A record on the test clock; the earlier one, if any, goes first.
    OperationRecord &MakeRecord();

    // Creates a RECORD file at `path` (relative to the station) holding `rows`.
    static void WriteRecordFile(const QString &path, const QList<RecordRow> &rows);
    // The rows of a RECORD file in the order they were written; empty when it cannot be read.
    static QList<RecordRow> ReadRows(const QString &path);
    static QStringList Texts(const QString &path);
    static QString ReadTextFile(const QString &path);
    static void WriteTextFile(const QString &path, const QByteArray &content);

    static QDateTime At(const QString &dayAndTime);  // "yyyy-MM-dd hh:mm:ss"

    std::unique_ptr<TempStation> m_station;
    TestClock m_clock;
    std::unique_ptr<OperationRecord> m_record;
};
