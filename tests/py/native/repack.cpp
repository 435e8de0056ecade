// repack -- copies a packed file with one extra byte at the end of its data.
#include <allegro.h>
#include <cerrno>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    install_allegro(SYSTEM_NONE, &errno, atexit);
    PACKFILE *in = pack_fopen(argv[1], "rp");
    if (!in)
        return 1;
    std::vector<char> data;
    int c;
    while ((c = pack_getc(in)) != EOF)
        data.push_back((char)c);
    pack_fclose(in);
    data.push_back(0);
    PACKFILE *out = pack_fopen(argv[2], "wp");
    if (!out)
        return 1;
    pack_fwrite(data.data(), (long)data.size(), out);
    return pack_fclose(out) ? 1 : 0;
}
