// tarn: the FTP client's window.
int main() { return 0; }
