// Add + save of one result with 8 cameras x 2 detection steps (all 27 rows rewritten in one
// transaction), next to the same rows written one autocommitted statement each with the values
// pasted into the text, and next to a single one-row commit (the disk's floor).
#include "core/globals.h"
#include "records/resstatistics.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {

struct Station
{
    Station()
    {
        previous = QDir::currentPath();
        QFile::copy(QStringLiteral(MOULD_STATION_DIR "/ResStatisticsNULL.db"), dir.filePath("ResStatisticsNULL.db"));
        QDir::setCurrent(dir.path());
        numCamera = 8;
        gDNum = 2;
    }
    ~Station() { QDir::setCurrent(previous); }
    QTemporaryDir dir;
    QString previous;
};

const QDateTime kNoon = QDateTime::fromString("2026-12-08 12:00:00", "yyyy-MM-dd hh:mm:ss");

void BM_AddAndSave(benchmark::State &state)
{
    Station station;
    ResStatisticsParam stats([] { return kNoon; });
    int i = 0;
    for (auto _ : state) {
        stats.Add(12, (i & 7) != 0, i % 8, (i / 8) % 2);
        ++i;
    }
}
BENCHMARK(BM_AddAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Baseline: the 27 rows as 27 pasted update statements, each its own transaction.
void BM_RowsOneStatementEach(benchmark::State &state)
{
    Station station;
    QFile::copy("ResStatisticsNULL.db", "ResStatistics.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "baseline");
        db.setDatabaseName(QDir::current().absoluteFilePath("ResStatistics.db"));
        db.open();
        QSqlQuery query(db);
        int i = 0;
        for (auto _ : state) {
            // A changed value in every row: SQLite skips rows written with what they hold.
            const QString hours = ResStatistics::HourText(QList<int>(24, ++i));
            for (int c : {0, 1, 2, 3, 4, 5, 6, 7, 8})
                for (int d : {0, 1, 8})
                    if (!query.exec(QString("update resstatistics set value1 = '%1',value2 = '%1' where name ='C%2_D%3'")
                                        .arg(hours)
                                        .arg(c)
                                        .arg(d))) {
                        state.SkipWithError(query.lastError().text().toUtf8().constData());
                        return;
                    }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("baseline");
}
BENCHMARK(BM_RowsOneStatementEach)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OneRowCommit(benchmark::State &state)
{
    Station station;
    QFile::copy("ResStatisticsNULL.db", "ResStatistics.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "floor");
        db.setDatabaseName(QDir::current().absoluteFilePath("ResStatistics.db"));
        db.open();
        QSqlQuery query(db);
        int i = 0;
        for (auto _ : state)
            query.exec(QString("update resstatistics set value1 = '%1' where name = 'C0_D0'").arg(++i));
        db.close();
    }
    QSqlDatabase::removeDatabase("floor");
}
BENCHMARK(BM_OneRowCommit)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
