#include "params/paraclauses.h"

#include "core/globals.h"
#include "params/wizardpara.h"

#include <cstring>

namespace ParaClauses {

namespace {

constexpr int kRowModify = 235;
constexpr int kRowChangedTo = 240;
constexpr int kRowChangedFromTo = 245;
constexpr int kRowPasswordModified = 249;
constexpr int kRowActive = 250;
constexpr int kRowDeactive = 251;
constexpr int kRowProd = 263;
constexpr int kRowMold = 264;

enum Page { Common = 0, Camera = 1, Io = 3, Advanced = 4 };

Field number(int label, int word, int min, int max, int page, int divisor = 1)
{
    return Field{label, word, Kind::Number, min, max, divisor, 0, 0, page};
}
Field toggle(int label, int word, int page) { return Field{label, word, Kind::Switch, 0, 1, 1, 0, 0, page}; }
Field camera(int label, int word, int min, int max, int clause)
{
    return Field{label, word, Kind::CameraNumber, min, max, 1, clause, 0, Camera};
}
Field silent(int label, int word, int min, int max, int page, int divisor = 1)
{
    return Field{label, word, Kind::Silent, min, max, divisor, 0, 0, page};
}

std::vector<Field> makeFields()
{
    return {
        Field{kRowProd, 40, Kind::StageDelay, 0, 10000, 10, 236, 0, Common},
        Field{kRowMold, 41, Kind::StageDelay, 0, 10000, 10, 236, 1, Common},
        Field{167, 113, Kind::StageRecheck, 0, 10, 1, 239, 1, Common},
        number(22, 120, 1, 10, Common),
        number(24, 121, 0, 1000, Common),
        toggle(174, 85, Common),
        toggle(175, 101, Common),
        Field{176, 97, Kind::SwitchReversed, 0, 1, 1, 0, 0, Common},
        toggle(177, 94, Common),
        toggle(400, 100, Common),
        camera(164, 0, 1, 100, 237),
        camera(165, 8, 0, 64, 238),
        camera(241, 16, 0, 100, 246),
        camera(242, 24, 1, 200, 247),
        camera(364, 32, 0, 250, 365),
        number(244, 109, 0, 32, Camera),
        toggle(270, 158, Camera),
        toggle(271, 159, Camera),
        toggle(387, 168, Camera),
        toggle(388, 169, Camera),
        toggle(337, 160, Camera),
        toggle(519, 420, Camera),
        toggle(196, 138, Advanced),
        toggle(197, 139, Advanced),
        toggle(198, 140, Advanced),
        toggle(199, 141, Advanced),
        toggle(200, 142, Advanced),
        toggle(390, 173, Advanced),
        toggle(391, 174, Advanced),
        toggle(520, 175, Advanced),
        toggle(397, 177, Advanced),
        number(269, 157, 0, 100, Io),
        number(336, 116, 0, 10000, Io),
        number(166, 167, 0, 100, Io, 10),
        number(168, 114, 0, 1000, Io, 10),
        number(169, 115, 0, 1000, Io, 10),
        number(203, 125, 0, 3, Io),
        number(334, 147, 0, 3, Io),
        number(273, 76, 0, 1, Io),
        number(274, 77, 0, 1, Io),
        number(275, 78, 0, 1, Io),
        number(281, 79, 0, 1, Io),
        number(281, 166, 0, 3, Io),
        number(1010, 118, 0, 10000, Io),
        number(571, 119, 0, 100, Io),
        toggle(178, 98, Io),
        toggle(179, 95, Io),
        toggle(192, 122, Io),
        toggle(190, 123, Io),
        toggle(1013, 132, Io),
        toggle(642, 124, Io),
        toggle(193, 126, Io),
        toggle(195, 137, Io),
        toggle(265, 143, Io),
        toggle(202, 128, Io),
        number(185, 105, 1, 100, Common),
        number(186, 106, 0, 20000, Common),
        number(187, 107, 0, 20000, Common),
        number(188, 110, 0, 4, Advanced),
        number(189, 111, 0, 1000, Advanced),
        number(213, 148, 1, 8000, Advanced),
        number(243, 108, 30, 9999, Advanced),
        number(181, 161, 1, 20, Advanced),
        number(403, 179, 0, 180, Advanced),
        toggle(586, 155, Advanced),
        toggle(591, 156, Advanced),
        toggle(572, 153, Advanced),
        toggle(194, 133, Advanced),
        toggle(341, 134, Advanced),
        toggle(342, 135, Advanced),
        toggle(191, 145, Advanced),
        toggle(389, 170, Advanced),
        toggle(1593, 419, Advanced),
        toggle(170, 99, Common),
        // Saved with the rest, without a clause of their own.
        silent(485, 42, 0, 10000, Io, 10),
        silent(486, 43, 0, 10000, Io, 10),
        silent(487, 44, 0, 10000, Io, 10),
        silent(488, 45, 0, 10000, Io, 10),
        silent(489, 46, 0, 10000, Io, 10),
        silent(490, 47, 0, 10000, Io, 10),
        silent(658, 102, 0, 10000, Io, 10),
        silent(524, 117, 0, 100, Io, 10),
        Field{554, 146, Kind::Silent, 0, 1, 1, 0, 0, Advanced},
        Field{558, 152, Kind::Silent, 0, 1, 1, 0, 0, Advanced},
    };
}

QString shown(const Field &field, int value)
{
    if (field.divisor == 10)
        return QString::number(value / 10.0, 'f', 1);
    return QString::number(value);
}

}  // namespace

const std::vector<Field> &Fields()
{
    static const std::vector<Field> fields = makeFields();
    return fields;
}

int CameraWord(const Field &field, int camera)
{
    // Each of the five camera settings is a run of eight words, camera 1 first.
    return field.word + camera;
}

QString Text(int row)
{
    const QString &text = LanStr(row);
    if (!text.isEmpty() || row < 0 || row >= kTextRows)
        return text;
    return gaLanStr[row * kLanguages];
}

QString ChangeText(const WizardPara &live, const WizardPara &edited)
{
    QString text = Text(kRowModify);
    for (const Field &field : Fields()) {
        if (field.kind == Kind::CameraNumber) {
            for (int camera = 0; camera < 8; ++camera) {
                const int w = CameraWord(field, camera);
                if (live.word(w) != edited.word(w))
                    text += Text(field.clauseRow).arg(camera + 1).arg(live.word(w)).arg(edited.word(w));
            }
            continue;
        }
        const int before = live.word(field.word), after = edited.word(field.word);
        if (before == after)
            continue;
        switch (field.kind) {
        case Kind::Number:
            text += Text(kRowChangedFromTo).arg(Text(field.labelRow), shown(field, before), shown(field, after));
            break;
        case Kind::Switch:
            text += Text(kRowChangedTo).arg(Text(field.labelRow)) + Text(after != 0 ? kRowActive : kRowDeactive);
            break;
        case Kind::SwitchReversed:
            text += Text(kRowChangedTo).arg(Text(field.labelRow)) + Text(after == 0 ? kRowActive : kRowDeactive);
            break;
        case Kind::StageDelay:
        case Kind::StageRecheck:
            text += Text(field.clauseRow)
                        .arg(Text(field.stage == 0 ? kRowProd : kRowMold), shown(field, before), shown(field, after));
            break;
        case Kind::CameraNumber:
        case Kind::Silent:
            break;
        }
    }
    if (std::memcmp(live.password, edited.password, sizeof live.password) != 0)
        text += Text(kRowPasswordModified);
    return text;
}

bool SameRecord(const WizardPara &a, const WizardPara &b)
{
    for (int w = 0; w < WizardPara::kWords; ++w)
        if (a.word(w) != b.word(w))
            return false;
    return true;
}

void PrepareAccept(const WizardPara &live, WizardPara &edited)
{
    edited.work_mode = live.work_mode;
    const int derived[][2] = {{49, 8}, {86, 8}, {378, 8}, {403, 1}};
    if (live.work_mode >= 0 && live.work_mode <= 3) {
        const int dNum = gDNum;
        const bool side = gTwoStationLeftSide;
        edited.DeriveStages();
        // The live record's globals change only when the edit copy becomes the live record.
        gDNum = dNum;
        gTwoStationLeftSide = side;
        return;
    }
    for (const auto &run : derived)
        for (int w = run[0]; w < run[0] + run[1]; ++w)
            edited.word(w) = live.word(w);
}

}  // namespace ParaClauses
