// The cycle-record converter (./cnt_net/xls): reads sql.txt in the working directory, one query per
// day, finds the cycles of each day in every day file (DetectCycle.db and DetectCycle/*.db, since a
// file may hold more than its own day) and writes them to a workbook, one sheet per day. Prints
// "<file> export finished" when the workbook is written, "export failed: <reason>" otherwise.
#include <sqlite3.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Cycle
{
    std::string start;
    std::string seconds;
    bool operator<(const Cycle &other) const
    {
        return std::tie(start, seconds) < std::tie(other.start, other.seconds);
    }
};

int Fail(const std::string &why)
{
    std::printf("export failed: %s\n", why.c_str());
    return 1;
}

std::vector<std::string> DayFiles()
{
    std::vector<std::string> files;
    if (fs::exists("DetectCycle.db"))
        files.push_back("DetectCycle.db");
    std::error_code error;
    for (const auto &entry : fs::directory_iterator("DetectCycle", error))
        if (entry.is_regular_file() && entry.path().extension() == ".db")
            files.push_back(entry.path().string());
    return files;
}

// The cycles between `from` and `to` (stored text compared as text) in one file.
void Collect(const std::string &file, const std::string &from, const std::string &to, std::set<Cycle> &cycles)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    sqlite3_stmt *statement = nullptr;
    const char *sql = "SELECT roundstart, roundtime FROM detect_cycle WHERE roundstart BETWEEN ?1 AND ?2";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, from.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, to.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const auto *start = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
            const auto *seconds = reinterpret_cast<const char *>(sqlite3_column_text(statement, 1));
            cycles.insert({start ? start : "", seconds ? seconds : ""});
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

}  // namespace

int main()
{
    std::ifstream queries("sql.txt");
    if (!queries)
        return Fail("no sql.txt");
    // Each line names its range as two quoted times; the range is bound, never pasted into SQL.
    const std::regex range("'([0-9: .-]+)'[^']*'([0-9: .-]+)'");
    std::vector<std::pair<std::string, std::string>> days;
    for (std::string line; std::getline(queries, line);) {
        std::smatch match;
        if (std::regex_search(line, match, range))
            days.emplace_back(match[1], match[2]);
    }
    if (days.empty())
        return Fail("sql.txt names no day");

    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H.%M.%S", std::localtime(&now));
    const std::string output = std::string("DetectCycle_") + stamp + ".xlsx";

    lxw_workbook *workbook = workbook_new(output.c_str());
    if (!workbook)
        return Fail("cannot create " + output);
    lxw_format *timeFormat = workbook_add_format(workbook);
    format_set_num_format(timeFormat, "0.0");
    const std::vector<std::string> files = DayFiles();
    std::set<std::string> sheetNames;
    for (const auto &[from, to] : days) {
        std::string name = from.substr(0, 10);
        while (sheetNames.count(name))
            name += "+";
        sheetNames.insert(name);
        lxw_worksheet *sheet = workbook_add_worksheet(workbook, name.c_str());
        worksheet_set_column(sheet, 1, 1, 26, nullptr);
        worksheet_write_string(sheet, 0, 0, "序号", nullptr);
        worksheet_write_string(sheet, 0, 1, "检测时间", nullptr);
        worksheet_write_string(sheet, 0, 2, "周期(s)", nullptr);
        std::set<Cycle> cycles;
        for (const std::string &file : files)
            Collect(file, from, to, cycles);
        lxw_row_t row = 1;
        for (const Cycle &cycle : cycles) {
            worksheet_write_number(sheet, row, 0, row, nullptr);
            worksheet_write_string(sheet, row, 1, cycle.start.c_str(), nullptr);
            char *end = nullptr;
            const double seconds = std::strtod(cycle.seconds.c_str(), &end);
            if (end && *end == '\0' && !cycle.seconds.empty())
                worksheet_write_number(sheet, row, 2, seconds, timeFormat);
            else
                worksheet_write_string(sheet, row, 2, cycle.seconds.c_str(), nullptr);
            ++row;
        }
    }
    if (workbook_close(workbook) != LXW_NO_ERROR)
        return Fail("cannot write " + output);
    std::printf("%s export finished\n", output.c_str());
    return 0;
}
