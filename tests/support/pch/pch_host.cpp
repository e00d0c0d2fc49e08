// Compiles the tests' shared precompiled header once; the test programs reuse it.
