// The hardware information files: names, values with blanks for "_", empty and short lines.
#include "params/hardwareconf.h"

#include <gtest/gtest.h>

TEST(HardwareConf, LinesToPairs)
{
    using Pairs = QList<QPair<QString, QString>>;
    const struct
    {
        QByteArray text;
        Pairs pairs;
    } cases[] = {
        {"Board\tModel_A\n", {{"Board", "Model A"}}},
        {"CPU\r\n\r\n   \nRAM\t4_GB\textra\n", {{"CPU", ""}, {"RAM", "4 GB"}}},
        {"Board\t\n", {{"Board", ""}}},
        {"\xe4\xb8\xbb\xe6\x9d\xbf\tA_B_C", {{QStringLiteral("主板"), "A B C"}}},
        {"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HardwareConf::Parse(c.text), c.pairs) << c.text.toStdString();

    QByteArray many;
    for (int i = 0; i < 1000; ++i)
        many += "name\tvalue\n";
    EXPECT_EQ(HardwareConf::Parse(many).size(), HardwareConf::kMaxLines);
    EXPECT_TRUE(HardwareConf::Load(QStringLiteral("/nonexistent/conf.txt")).isEmpty());
}
