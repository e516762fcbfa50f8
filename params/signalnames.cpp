#include "params/signalnames.h"

#include "core/globals.h"

const char *const gInName[16][3] = {
    {"开模到位", "Mol op", "開模到位"},   {"安全门关", "clo door", "安全門關"},
    {"安全门开", "op door", "安全門開"},  {"顶针退", "Thim O", "頂針退"},
    {"顶针进", "Thim I", "頂針進"},       {"开模阀", "Mol val", "開模閥"},
    {"机械手", "Manip", "機械手"},        {"复位键", "Res but", "復位鍵"},
    {"滑块退", "Slid bac", "滑塊退"},     {"机手上行", "Mac up", "機手上行"},
    {"中子A进", "Neu A I", "中子A進"},    {"中子A退", "Neu A O", "中子A退"},
    {"中子B进", "Neu B I", "中子B進"},    {"中子B退", "Neu B O", "中子B退"},
    {"中子C进", "Neu C I", "中子C進"},    {"中子C退", "Neu C O", "中子C退"},
};

const char *const gOutName[14][3] = {
    {"允许合模", "Al clam", "允許合模"},   {"允许顶针", "Al thim", "允許頂針"},
    {"中子A进", "Neu A I", "中子A進"},     {"中子A退", "Neu A O", "中子A退"},
    {"中子B进", "Neu B I", "中子B進"},     {"中子B退", "Neu B O", "中子B退"},
    {"中子C进", "Neu C I", "中子C進"},     {"中子C退", "Neu C O", "中子C退"},
    {"允许绞牙", "Al thread", "允許絞牙"}, {"允许旋转", "Rot", "允許旋轉"},
    {"允许左移", "L shift", "允許左移"},   {"允许右移", "R shift", "允許右移"},
    {"允许移模", "Mov mol", "允許移模"},   {"机手动作", "Mac mov", "機手動作"},
};

namespace {
int language() { return (gLan >= 0 && gLan < kLanguages) ? gLan : 0; }
}  // namespace

QString InputFunctionName(int index)
{
    if (index < 0 || index >= 16)
        return {};
    return QString::fromUtf8(gInName[index][language()]);
}

QString OutputFunctionName(int index)
{
    if (index < 0 || index >= 14)
        return {};
    return QString::fromUtf8(gOutName[index][language()]);
}
