#include "processor.hpp"

namespace heightio {

bool has_avx2() {
  static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return avx2;
}

}  // namespace heightio
