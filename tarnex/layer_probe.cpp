// The program each layer's probe links: nothing runs, the link is the test
// (every object of the layer, with only the layers below it).
int main() { return 0; }
