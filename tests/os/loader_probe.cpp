extern "C" __attribute__((visibility("default"))) int marqenLoaderProbe(int x) {
  return x * 2 + 1;
}
