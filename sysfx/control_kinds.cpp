#include "sysfx/control_kinds.h"

#include <cstring>

#include "sysfx/system_helper.h"

namespace snipora {

int32_t ForEachListedOfKind(ControlList list, const char* kindName, ControlKind kind,
                            const std::function<void(const ControlReference&)>& prepare) {
  const int32_t count = ListCount(list);
  for (int32_t i = 0; i < count; ++i) {
    if (std::strcmp(KindName(ListItem(list, i)).c_str(), kindName) != 0) continue;
    prepare(ExpectKind(ListItem(list, i), kind));
  }
  return count;
}

// How the controls of one kind are prepared: a rounded region, or the key
// colour written to the kind's background-colour property.
struct GlassKind {
  const char* name;  // as KindName reports it
  ControlKind kind;
  int32_t backColor;  // the property number; 0 for the rounded kinds
  int32_t (SystemHelper::*round)(const ControlReference&) const;
};

namespace {

using H = SystemHelper;
constexpr GlassKind kButtons{"按钮", ControlKind::Button, 0, &H::RoundButtonRegion};
constexpr GlassKind kEditBoxes{"编辑框", ControlKind::EditBox, 0, &H::RoundEditRegion};
constexpr GlassKind kShapeBoxes{"外形框", ControlKind::ShapeBox, property::kShapeBackColor, nullptr};
constexpr GlassKind kGroupBoxes{"分组框", ControlKind::GroupBox, property::kGroupBackColor, nullptr};
constexpr GlassKind kRadioBoxes{"单选框", ControlKind::RadioBox, property::kRadioBackColor, nullptr};
constexpr GlassKind kLabels{"标签", ControlKind::Label, property::kLabelBackColor, nullptr};
constexpr GlassKind kPicBoxes{"图片框", ControlKind::PicBox, property::kPicBoxBackColor, nullptr};
constexpr GlassKind kCheckBoxes{"选择框", ControlKind::CheckBox, property::kCheckBackColor, nullptr};
constexpr GlassKind kTabs{"选择夹", ControlKind::Tab, property::kTabBackColor, nullptr};

static_assert(KindCode(ControlKind::Button) == 0x1000B && KindCode(ControlKind::EditBox) == 0x10005 &&
              KindCode(ControlKind::ShapeBox) == 0x10007 && KindCode(ControlKind::GroupBox) == 0x10009 &&
              KindCode(ControlKind::RadioBox) == 0x1000D && KindCode(ControlKind::Label) == 0x1000A &&
              KindCode(ControlKind::PicBox) == 0x10006 && KindCode(ControlKind::CheckBox) == 0x1000C &&
              KindCode(ControlKind::Tab) == 0x10015);

}  // namespace

int32_t SystemHelper::PrepareKind(uint32_t window, const GlassKind& kind) const {
  ControlList list = EnumerateControls(window);
  const int32_t count = ForEachListedOfKind(list, kind.name, kind.kind, [&](const ControlReference& control) {
    if (kind.round)
      (this->*kind.round)(control);
    else
      SetControlProperty(control.window, control.control, kind.backColor, static_cast<int32_t>(kGlassKeyColor));
  });
  ReleaseControlList(list);
  return count;
}

int32_t SystemHelper::ForEachButton(uint32_t window) const { return PrepareKind(window, kButtons); }
int32_t SystemHelper::ForEachEditBox(uint32_t window) const { return PrepareKind(window, kEditBoxes); }
int32_t SystemHelper::ForEachShapeBox(uint32_t window) const { return PrepareKind(window, kShapeBoxes); }
int32_t SystemHelper::ForEachGroupBox(uint32_t window) const { return PrepareKind(window, kGroupBoxes); }
int32_t SystemHelper::ForEachRadioBox(uint32_t window) const { return PrepareKind(window, kRadioBoxes); }
int32_t SystemHelper::ForEachLabel(uint32_t window) const { return PrepareKind(window, kLabels); }
int32_t SystemHelper::ForEachPicBox(uint32_t window) const { return PrepareKind(window, kPicBoxes); }
int32_t SystemHelper::ForEachCheckBox(uint32_t window) const { return PrepareKind(window, kCheckBoxes); }
int32_t SystemHelper::ForEachTab(uint32_t window) const { return PrepareKind(window, kTabs); }

}  // namespace snipora
