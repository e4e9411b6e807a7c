// Drops what a 64-bit ELF executable does not need to run: the section header table, every byte
// past the end of the last segment's file content, and the zero bytes that end a loadable segment
// whose memory goes on past them, as the kernel zeroes that memory all the same (the linker's spare
// dynamic entries end up there). The kernel and the dynamic linker read only the program headers.
//   elf-trim INPUT OUTPUT
#include <elf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {
int fail(const char* what, const char* path)
{
    std::fprintf(stderr, "elf-trim: %s: %s\n", path, what);
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: elf-trim INPUT OUTPUT\n");
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    std::vector<unsigned char> image((std::istreambuf_iterator<char>(input)),
                                     std::istreambuf_iterator<char>());
    Elf64_Ehdr header;
    if (image.size() < sizeof header)
        return fail("too short for an ELF header", argv[1]);
    std::memcpy(&header, image.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_phentsize != sizeof(Elf64_Phdr))
        return fail("not a little-endian 64-bit ELF file", argv[1]);
    if (header.e_phoff + std::size_t{header.e_phnum} * sizeof(Elf64_Phdr) > image.size())
        return fail("program headers run past the end of the file", argv[1]);

    const std::size_t headers_end =
        header.e_phoff + std::size_t{header.e_phnum} * sizeof(Elf64_Phdr);
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    std::memcpy(segments.data(), image.data() + header.e_phoff, headers_end - header.e_phoff);
    std::size_t end = headers_end;
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_offset + segment.p_filesz > image.size())
            return fail("a segment runs past the end of the file", argv[1]);
        end = std::max<std::size_t>(end, segment.p_offset + segment.p_filesz);
    }
    // Only when one loadable segment ends the file, and its memory covers the bytes given up.
    const auto ends_file = [end](const Elf64_Phdr& segment) {
        return segment.p_type == PT_LOAD && segment.p_offset + segment.p_filesz == end;
    };
    const auto last = std::find_if(segments.begin(), segments.end(), ends_file);
    if (std::count_if(segments.begin(), segments.end(), ends_file) == 1 &&
        last->p_memsz >= last->p_filesz) {
        const std::size_t start = std::max<std::size_t>(last->p_offset, headers_end);
        while (end > start && image[end - 1] == 0)
            --end;
        for (Elf64_Phdr& segment : segments)
            if (segment.p_offset + segment.p_filesz > end)
                segment.p_filesz = end > segment.p_offset ? end - segment.p_offset : 0;
        std::memcpy(image.data() + header.e_phoff, segments.data(), headers_end - header.e_phoff);
    }
    header.e_shoff = 0;
    header.e_shnum = 0;
    header.e_shstrndx = SHN_UNDEF;
    std::memcpy(image.data(), &header, sizeof header);

    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    output.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(end));
    if (!output.flush())
        return fail("cannot write", argv[2]);
    struct stat mode;
    if (stat(argv[1], &mode) != 0 || chmod(argv[2], mode.st_mode & 07777) != 0)
        return fail("cannot give it the input's permissions", argv[2]);
    return 0;
}
