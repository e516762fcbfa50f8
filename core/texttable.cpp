#include "core/texttable.h"

#include "core/globals.h"

#include <QByteArray>
#include <QList>

#include <cstddef>

extern const unsigned char kTextTableData[];
extern const std::size_t kTextTableData_size;

namespace {

// Undoes the escapes of the data file: \n, \r, \t and \\.
QString unescape(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out.append(c);
            continue;
        }
        const char next = field[++i];
        switch (next) {
        case 'n': out.append('\n'); break;
        case 'r': out.append('\r'); break;
        case 't': out.append('\t'); break;
        case '\\': out.append('\\'); break;
        default: out.append('\\').append(next); break;
        }
    }
    return QString::fromUtf8(out);
}

}  // namespace

// The data file holds one row per line: row number, Simplified Chinese, English, Traditional
// Chinese, separated by tabs. Lines starting with '#' and blank lines are ignored.
void FillTextTable()
{
    const QByteArrayView data(reinterpret_cast<const char *>(kTextTableData),
                              static_cast<qsizetype>(kTextTableData_size));
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArrayView line = data.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))  // tolerate a file saved with CRLF line ends
            line.chop(1);
        if (line.isEmpty() || line.front() == '#')
            continue;
        QList<QByteArrayView> fields;
        qsizetype from = 0;
        for (;;) {
            const qsizetype tab = line.indexOf('\t', from);
            if (tab < 0) {
                fields.append(line.sliced(from));
                break;
            }
            fields.append(line.sliced(from, tab - from));
            from = tab + 1;
        }
        bool ok = false;
        const int row = QString::fromLatin1(fields.value(0)).toInt(&ok);
        if (!ok || row < 0 || row >= kTextRows)
            continue;
        for (int lan = 0; lan < kLanguages; ++lan)
            gaLanStr[row * kLanguages + lan] = unescape(fields.value(lan + 1));
    }
}
