// Writes the arguments after the first, each followed by "|", into the file named by the first.
#include <fstream>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 1;
    std::ofstream out(argv[1]);
    for (int i = 2; i < argc; ++i)
        out << argv[i] << '|';
    return 0;
}
