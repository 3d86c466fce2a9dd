/*
 * The benchmarks' baseline: a setup tool's own source compiled as plain C,
 * and linked as the tool is.  It does the same work, so whatever the tool
 * costs beyond it is the cost of building it as C++.
 */
#include "setup_tool.cpp"
