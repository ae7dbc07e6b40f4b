// pluvane-station-index: run by the build, never installed. Reads the land
// list and its supplement as the catalog reads them at run time and writes
// the index it made as C++ source, with the lists' texts (and the buoy
// table's), so that the lists compiled into the library cost a program
// nothing until it looks a station up: reading them through took as long as
// starting the program, most of it in page faults.
//
//   pluvane-station-index LAND_LIST SUPPLEMENT BUOY_TABLE OUTPUT.cpp
#include "synopdecoder/StationCatalog.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace synop {
namespace {

// A C string literal's contents.
std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", byte);
            out += octal;
        } else {
            out += c;
        }
    }
    return out;
}

// A text as a char array's initialiser: one string literal a line, so that
// the source stays readable and no literal grows past what compilers take.
void writeText(const char* name, const std::string& text, std::ostream& out)
{
    out << "extern const char " << name << "[] =\n";
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        out << '"' << escaped(text.substr(start, end - start)) << "\"\n";
        start = end;
    }
    out << "\"\";\nextern const size_t " << name << "Bytes = " << text.size() << ";\n\n";
}

}  // namespace

struct StationIndexWriter {
    static void write(const StationCatalog& c, const std::string& list, const std::string& supplement,
                      const std::string& buoys, std::ostream& out)
    {
        out << "// Made by pluvane-station-index from the land list, its supplement and the\n"
               "// buoy table at build time.\n"
               "#include \"synopdecoder/StationCatalog.h\"\n\n"
               "namespace synop::builtin {\n\n";
        writeText("kLandList", list, out);
        writeText("kSupplement", supplement, out);
        writeText("kBuoyTable", buoys, out);
        out << "extern const size_t kLandCount = " << c.landCount_ << ";\n"
            << "extern const size_t kLineCount = " << c.landIndices_.size() << ";\n"
            << "extern const size_t kOtherLineCount = " << c.otherLandLines_.size() << ";\n\n";
        out << "extern const int kIndices[] = {\n";
        for (size_t i = 0; i < c.landIndices_.size(); ++i) out << c.landIndices_[i] << (i % 16 == 15 ? ",\n" : ",");
        out << "0};\n\nextern const StationCatalog::LineRef kLines[] = {\n";
        for (const StationCatalog::LineRef& line : c.landLines_)
            out << '{' << line.text << ',' << line.offset << ',' << line.length << "},\n";
        out << "{0,0,0}};\n\nextern const StationCatalog::OtherLineRef kOtherLines[] = {\n";
        for (const auto& [index, line] : c.otherLandLines_)
            out << "{\"" << escaped(index) << "\",{" << line.text << ',' << line.offset << ',' << line.length << "}},\n";
        out << "{nullptr,{0,0,0}}};\n\n}  // namespace synop::builtin\n";
    }
};

}  // namespace synop

namespace {

bool readFile(const char* path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return static_cast<bool>(in) || in.eof();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: pluvane-station-index LAND_LIST SUPPLEMENT BUOY_TABLE OUTPUT.cpp\n");
        return 2;
    }
    std::string list, supplement, buoys;
    if (!readFile(argv[1], list) || !readFile(argv[2], supplement) || !readFile(argv[3], buoys)) {
        std::fprintf(stderr, "pluvane-station-index: cannot read %s, %s or %s\n", argv[1], argv[2], argv[3]);
        return 1;
    }
    synop::StationCatalog catalog;
    catalog.loadLandStations(list);
    catalog.loadLandSupplement(supplement);
    std::ostringstream source;
    synop::StationIndexWriter::write(catalog, list, supplement, buoys, source);
    // Written only when it changed, so that a build that read the same
    // lists compiles nothing again.
    std::string before;
    if (std::ifstream old(argv[4], std::ios::binary); old && readFile(argv[4], before) && before == source.str()) return 0;
    std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
    out << source.str();
    out.close();
    if (!out) {
        std::fprintf(stderr, "pluvane-station-index: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
