#include "window/form_controls.h"

#include <algorithm>

namespace vellora {

int captionFontSize(int largest, int smallest, int room,
                    const std::function<int(int size, std::string_view caption)>& width) {
  for (int size = largest; size > smallest; --size) {
    int widest = 0;
    for (const ControlDesign& c : kControls)
      if (c.kind == ControlKind::Label && c.visible && c.place.left == 0) widest = std::max(widest, width(size, c.text));
    if (widest <= room) return size;
  }
  return smallest;
}

}  // namespace vellora
