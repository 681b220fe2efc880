/* A tiny shared library for the dynamic-loading tests. */
int sample_answer(void) { return 42; }
