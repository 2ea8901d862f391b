#include "world_messages.h"

namespace {

const char* const kExtinctionTexts[kCreatureKindCount] = {
    "木が絶滅しました。緑は犠牲になったのだ…。",
    "",
    "虫が絶滅しました。獣絶滅確定。緑の時代到来。",
    "獣が絶滅しました。ある意味平和に。",
};

const char* const kMilestoneTexts[kCreatureKindCount][kMilestoneCount] = {
    {
        "木が10代目まで続きました。虫に屈するな！",
        "木が50代目まで続きました。虫が居たら、すごいです。",
        "木が100代目まで続きました。虫が絶滅しましたね？そうでしょう？",
        "木が200代目まで続きました。生物が居なくなっても緑は最後の最後まで続きます。",
        "木が400代目まで続きました。そんな森で大丈夫か？",
    },
    {"", "", "", "", ""},
    {
        "虫が10代目まで続きました。木が必死です。",
        "虫が50代目まで続きました。木は残ってますか？",
        "虫が100代目まで続きました。木は虫から生えるもの。",
        "虫が200代目まで続きました。今でも天敵の獣と共存してたら、このゲームクリアかな。",
        "虫が400代目まで続きました。大丈夫だ、問題ない。",
    },
    {
        "獣が10代目まで続きました。結構時間かかったんじゃ？",
        "獣が50代目まで続きました。すごいです。テスト段階じゃ見たことないです。",
        "獣が100代目まで続きました。このゲーム極めたんじゃないですか？",
        "獣が200代目まで続きました。有り得ない。SSとログ送ってくださいますか＾＾；",
        "獣が400代目まで続きました。一番いい設定を頼む。",
    },
};

}  // namespace

const char* GetExtinctionText(int32_t kind) {
    return kind >= 0 && kind < kCreatureKindCount ? kExtinctionTexts[kind] : "";
}

const char* GetMilestoneText(int32_t kind, int milestone) {
    if (kind < 0 || kind >= kCreatureKindCount || milestone < 0 || milestone >= kMilestoneCount) {
        return "";
    }
    return kMilestoneTexts[kind][milestone];
}
