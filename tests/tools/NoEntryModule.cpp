// A loadable library that is not a plug-in: it exports no entry point.
extern "C" __attribute__((visibility("default"))) int valvoraNotAPlugin() { return 42; }
