/* abishim.c: preloaded ahead of libzelko.so, it makes the library report
   an ABI the Python module was not built for. */
int zelko_abi_version(void) { return 2; }
