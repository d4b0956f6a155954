// Lists of control references: made by EnumerateControls, read by ListCount
// and ListItem, which accept only lists the runtime made.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/fatal_error.h"
#include "runtime/forms/form_internal.h"
#include "runtime/forms/form_runtime.h"
#include "runtime/heap.h"

namespace snipora {

using namespace forms;

namespace {

const char* KindNameOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Window: return "窗口";
    case ControlKind::EditBox: return "编辑框";
    case ControlKind::PicBox: return "图片框";
    case ControlKind::ShapeBox: return "外形框";
    case ControlKind::DrawPanel: return "画板";
    case ControlKind::GroupBox: return "分组框";
    case ControlKind::Label: return "标签";
    case ControlKind::Button: return "按钮";
    case ControlKind::CheckBox: return "选择框";
    case ControlKind::RadioBox: return "单选框";
    case ControlKind::Tab: return "选择夹";
    case ControlKind::StatusBar: return "状态条";
    case ControlKind::HtmlViewer: return "超文本浏览框";
  }
  return "";
}

// A tag read as a decimal integer; 0 when it is not one.
int32_t TagNumber(const Text& tag) {
  const char* text = tag.c_str();
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (end == text || *end != '\0') ? 0 : static_cast<int32_t>(value);
}

bool Registered(ControlList list) {
  const auto& lists = Forms().lists;
  return list && std::find(lists.begin(), lists.end(), list) != lists.end();
}

}  // namespace

ControlList EnumerateControls(uint32_t windowId, TextView prefix, TextView kindName, std::optional<int32_t> lowestTag,
                              std::optional<int32_t> highestTag) {
  WindowState* window = FindWindowState(windowId);
  if (!window || !window->hwnd) return nullptr;
  const int32_t low = lowestTag.value_or(INT32_MIN);
  const int32_t high = highestTag.value_or(INT32_MAX);
  const std::size_t prefixLength = std::strlen(prefix.c_str());
  std::vector<int32_t> triples;
  for (ControlState& control : window->controls) {
    if (!control.hwnd || !IsChild(window->hwnd, control.hwnd)) continue;
    const ControlDefinition& d = *control.definition;
    if (prefixLength && std::strncmp(d.name, prefix.c_str(), prefixLength) != 0) continue;
    if (*kindName.c_str() && std::strcmp(KindNameOf(d.kind), kindName.c_str()) != 0) continue;
    const int32_t tag = TagNumber(control.tag);
    if (tag < low || tag > high) continue;
    triples.insert(triples.end(), {KindCode(d.kind), int32_t(window->definition->id), int32_t(d.id)});
  }
  if (triples.empty()) return nullptr;
  auto* block = static_cast<int32_t*>(AllocateBlock(sizeof(int32_t) * (triples.size() + 1)));
  block[0] = static_cast<int32_t>(triples.size() / 3);
  std::memcpy(block + 1, triples.data(), sizeof(int32_t) * triples.size());
  Forms().lists.push_back(block);
  return block;
}

int32_t ListCount(ControlList list) { return Registered(list) ? list[0] : 0; }

ControlReference ListItem(ControlList list, int32_t index) {
  if (!Registered(list) || index < 0 || index >= list[0]) return {};
  const int32_t* triple = list + 1 + 3 * index;
  return {triple[0], uint32_t(triple[1]), uint32_t(triple[2])};
}

void ReleaseControlList(ControlList list) {
  auto& lists = Forms().lists;
  const auto it = std::find(lists.begin(), lists.end(), list);
  if (it == lists.end()) return;
  lists.erase(it);
  ReleaseBlock(const_cast<int32_t*>(list));
}

Text KindName(const ControlReference& reference) {
  const int32_t code = reference.kindCode;
  const ControlKind kind = static_cast<ControlKind>(code > 0x10000 && code < 0x20000 ? code - 0x10000 : code);
  return ToText(KindNameOf(kind));
}

const ControlReference& ExpectKind(const ControlReference& control, ControlKind kind) {
  if (control.kindCode != KindCode(kind)) FatalRuntimeError(5, "数据或数组类型不匹配");
  return control;
}

}  // namespace snipora
