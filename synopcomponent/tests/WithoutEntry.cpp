// Deliberately exports nothing that a host looks for.
int pluvaneUnrelatedFunction() { return 42; }
