// Test fixture of the vision folder: a temporary station with PARAM.db open, small camera images and hooks that answer.
#pragma once

#include "core/globals.h"
#include "core/texttable.h"
#include "params/wizardpara.h"
#include "tests/support/stationdir.h"
#include "tests/support/testport.h"
#include "vision/lib/checkrange.h"
#include "vision/visionhooks.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <memory>
#include <tuple>
#include <vector>

class VisionFixture : public ::testing::Test
{
protected:
    static constexpr int kW = 160;
    static constexpr int kH = 120;

    void SetUp() override
    {
        ASSERT_TRUE(m_station.isValid());
        FillTextTable();
        gLan = 1;
        setGeometry(kW, kH, false);
        gTempNum = 10;
        gDNum = 2;
        m_para = std::make_unique<WizardPara>();
        gpWPara = m_para.get();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("dbIn"));
        db.setDatabaseName(QStringLiteral("PARAM.db"));
        ASSERT_TRUE(db.open());
        VisionHooks::sendDelTempPic = [this](int camera, int detection, const QString &name) {
            deletedSent.emplace_back(camera, detection, name);
        };
        VisionHooks::sendROIParam = [this](int camera, int detection) { roiSent.emplace_back(camera, detection); };
    }

    void TearDown() override
    {
        VisionHooks::sendDelTempPic = nullptr;
        VisionHooks::sendROIParam = nullptr;
        QSqlDatabase::database(QStringLiteral("dbIn"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("dbIn"));
        gpWPara = nullptr;
    }

    static void setGeometry(int w, int h, bool colour)
    {
        gImageW = w;
        gImageH = h;
        gImageLen = w * h;
        gColorLen = colour ? 4 * w * h : w * h;
        gisColor = colour;
        gisGrayHue = true;
        SetImageSize(w, h);
    }

    static QSqlQuery query()
    {
        return QSqlQuery(QSqlDatabase::database(QStringLiteral("dbIn")));
    }

    static void putRow(const QString &table, const QString &name, const QString &value)
    {
        QSqlQuery q = query();
        q.prepare(QStringLiteral("delete from %1 where name=?").arg(table));
        q.addBindValue(name);
        ASSERT_TRUE(q.exec());
        q.prepare(QStringLiteral("insert into %1 values(?, ?)").arg(table));
        q.addBindValue(name);
        q.addBindValue(value);
        ASSERT_TRUE(q.exec());
    }

    // The value of a row, or "<missing>".
    static QString row(const QString &table, const QString &name)
    {
        QSqlQuery q = query();
        q.prepare(QStringLiteral("select value from %1 where name=?").arg(table));
        q.addBindValue(name);
        if (!q.exec() || !q.next())
            return QStringLiteral("<missing>");
        return q.value(0).toString();
    }

    static QStringList rowNames(const QString &table, const QString &like)
    {
        QSqlQuery q = query();
        q.prepare(QStringLiteral("select name from %1 where name like ? order by name").arg(table));
        q.addBindValue(like);
        QStringList names;
        if (q.exec())
            while (q.next())
                names << q.value(0).toString();
        return names;
    }

    TempStation m_station;
    std::unique_ptr<WizardPara> m_para;
    TestOperatorPort operatorPort;
    QStringList &warnings = operatorPort.warnings;
    QStringList &questions = operatorPort.questions;
    bool &answer = operatorPort.answer;
    bool &passwordOk = operatorPort.passwordOk;
    std::vector<std::tuple<int, int, QString>> deletedSent;
    std::vector<std::pair<int, int>> roiSent;
};
