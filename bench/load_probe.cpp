// Loads and unloads one shared library N times and prints, in milliseconds, the first
// dlopen + dlclose, the median of the others, and 1 when the library stayed mapped after
// dlclose (0 when it was really unloaded). A program of its own, linking nothing the library
// needs, so the first load pays for the library's dependencies as a fresh host process would.
//   marqen_load_probe LIBRARY N

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int repetitions = std::atoi(argv[2]);
  std::vector<double> times;
  double first = 0;
  for (int i = 0; i <= repetitions; ++i) {
    const auto start = std::chrono::steady_clock::now();
    void* handle = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "%s\n", ::dlerror());
      return 1;
    }
    ::dlclose(handle);
    const auto took = std::chrono::steady_clock::now() - start;
    const double ms = std::chrono::duration<double, std::milli>(took).count();
    if (i == 0)
      first = ms;
    else
      times.push_back(ms);
  }
  void* still = ::dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD);
  if (still) ::dlclose(still);
  std::sort(times.begin(), times.end());
  std::printf("%.4f %.4f %d\n", first, times[times.size() / 2], still ? 1 : 0);
  return 0;
}
