/* A library without the version export. */
int something_else(void) { return 1; }
