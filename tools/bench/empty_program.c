/* A Windows program that does nothing: what the start and end of a process
   cost under Wine, without the libraries a real program imports. */
int main(void) { return 0; }
