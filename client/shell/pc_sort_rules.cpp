#include "client/shell/pc_sort_rules.h"

namespace tarn::shell {

bool PcSortState::Click(int c) {
  if (c < 0 || c > 3) return false;
  column = c;
  direction[c] = -direction[c];
  return true;
}

}  // namespace tarn::shell
