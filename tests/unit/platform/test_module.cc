// A loadable module for the module-loader tests.
extern "C" __attribute__((visibility("default"))) int TestModuleAnswer() {
  return 42;
}
