// A Mach-O loader for bundles that call nothing but the host: maps the segments with
// their protections, applies the rebases, binds every pointer at once (lazy ones too,
// so the stub helper never runs) with two-level namespace enforced as dyld does it, and
// finds _mexFunction in the export trie; its unwind entries go to Linux's unwinder.
// What it does not handle is refused by name. Linux and macOS share the calling
// convention of each CPU for everything these modules call, so the bundle's code runs
// here unchanged.
#include "macho.h"

#include "compact_unwind.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

namespace standin {

namespace {

// The parts of the Mach-O format used here (mach-o/loader.h, mach-o/fixup-chains.h).
constexpr uint32_t MH_MAGIC_64 = 0xfeedfacf, FAT_MAGIC = 0xcafebabe, FAT_CIGAM = 0xbebafeca;
constexpr uint32_t MH_BUNDLE = 8, MH_TWOLEVEL = 0x80, MH_HAS_TLV_DESCRIPTORS = 0x800000;
constexpr uint32_t LC_REQ_DYLD = 0x80000000;
constexpr uint32_t LC_SEGMENT_64 = 0x19, LC_LOAD_DYLIB = 0xc, LC_LOAD_WEAK_DYLIB = 0x80000018,
                   LC_REEXPORT_DYLIB = 0x8000001f, LC_LAZY_LOAD_DYLIB = 0x20,
                   LC_LOAD_UPWARD_DYLIB = 0x80000023, LC_DYLD_INFO = 0x22,
                   LC_DYLD_INFO_ONLY = 0x80000022, LC_DYLD_CHAINED_FIXUPS = 0x80000034,
                   LC_DYLD_EXPORTS_TRIE = 0x80000033, LC_RPATH = 0x8000001c,
                   LC_MAIN = 0x80000028, LC_THREAD = 0x4, LC_UNIXTHREAD = 0x5;
constexpr uint32_t SECTION_TYPE = 0xff, S_MOD_INIT_FUNC_POINTERS = 0x9,
                   S_MOD_TERM_FUNC_POINTERS = 0xa, S_THREAD_LOCAL_REGULAR = 0x11,
                   S_THREAD_LOCAL_INIT_FUNCTION_POINTERS = 0x15, S_INIT_FUNC_OFFSETS = 0x16;

#if defined(__x86_64__)
constexpr uint32_t HOST_CPU = CPU_TYPE_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t HOST_CPU = CPU_TYPE_ARM64;
#else
constexpr uint32_t HOST_CPU = 0;
#endif

struct Segment {
    std::string name;
    uint64_t vmaddr, vmsize, fileoff, filesize;
    uint32_t initprot;
};

template <class T> T read_at(const std::vector<uint8_t> &f, uint64_t off)
{
    if (off > f.size() || sizeof(T) > f.size() - off)
        throw std::runtime_error("truncated");
    T v;
    std::memcpy(&v, f.data() + off, sizeof v);
    return v;
}

// A byte stream of fixup opcodes or of the export trie.
struct Stream {
    const uint8_t *p, *end;
    bool done() const { return p >= end; }
    uint8_t byte()
    {
        if (p >= end)
            throw std::runtime_error("opcode stream ends early");
        return *p++;
    }
    uint64_t uleb()
    {
        uint64_t v = 0;
        for (int shift = 0;; shift += 7) {
            uint8_t b = byte();
            if (shift < 64)
                v |= uint64_t(b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
    }
    int64_t sleb()
    {
        int64_t v = 0;
        int shift = 0;
        uint8_t b;
        do {
            b = byte();
            if (shift < 64)
                v |= int64_t(b & 0x7f) << shift;
            shift += 7;
        } while (b & 0x80);
        if (shift < 64 && (b & 0x40))
            v |= -(int64_t(1) << shift);
        return v;
    }
    const char *cstring()
    {
        const char *s = reinterpret_cast<const char *>(p);
        while (byte() != 0) {
        }
        return s;
    }
};

// The libraries a bundle may load: the stand-in host's, under MATLAB's install names,
// and libSystem for dyld's lazy binder alone.
const char *const HOST_LIBRARIES[][2] = {
    {"@rpath/libmx.dylib", "libmx.so"},
    {"@rpath/libmex.dylib", "libmex.so"},
    {"@rpath/libmat.dylib", "libmat.so"},
};
const char *const LIBSYSTEM = "/usr/lib/libSystem.B.dylib";

[[noreturn]] void stub_binder_called()
{
    std::fputs("standin: a bundle's stub helper ran, though every lazy pointer was bound\n",
               stderr);
    std::abort();
}

// What a bundle may bind from the host libraries: the host operations, not the rest
// of what they export for the tests.
const char *const HOST_OPERATIONS[] = {
    "mxIsDouble", "mxIsSparse", "mxGetM", "mxGetN", "mxGetNumberOfDimensions_700",
    "mxGetNumberOfElements", "mxGetPr", "mxCreateDoubleMatrix_700", "mexErrMsgTxt",
};

// What a bind of `symbol` from the library `install_name` resolves to. Two-level
// namespace: the symbol must be defined by that very library, not merely reachable
// through it, as dlsym would have it.
void *resolve(const std::string &install_name, const std::string &symbol)
{
    if (install_name == LIBSYSTEM) {
        if (symbol == "dyld_stub_binder")
            return reinterpret_cast<void *>(&stub_binder_called);
        throw std::runtime_error("binds " + symbol + " from " + install_name +
                                 ", which exports only dyld_stub_binder here");
    }
    const char *soname = nullptr;
    for (auto &lib : HOST_LIBRARIES)
        if (install_name == lib[0])
            soname = lib[1];
    if (!soname)
        throw std::runtime_error("loads " + install_name + ", which is not a host library");
    const std::string c_name = symbol.size() > 1 && symbol[0] == '_' ? symbol.substr(1) : "";
    void *lib = dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
    void *sym = lib && !c_name.empty() ? dlsym(lib, c_name.c_str()) : nullptr;
    Dl_info where{};
    link_map *map = nullptr;
    bool defined_there = sym && dladdr(sym, &where) && dlinfo(lib, RTLD_DI_LINKMAP, &map) == 0 &&
                         where.dli_fname && std::strcmp(where.dli_fname, map->l_name) == 0;
    if (lib)
        dlclose(lib);
    if (!defined_there)
        throw std::runtime_error("binds " + symbol + " from " + install_name +
                                 ", which does not export it");
    for (const char *op : HOST_OPERATIONS)
        if (c_name == op)
            return sym;
    throw std::runtime_error("binds " + symbol + " from " + install_name +
                             ", which is not a host operation");
}

class Image {
public:
    Image(const std::vector<uint8_t> &file, const std::string &path) : f(file), path(path) {}

    void parse();
    void map(void *&base, size_t &size);
    Gateway find_gateway() const;
    void unwind_tables(std::vector<uint8_t> &compact, void *&own) const;

private:
    [[noreturn]] void refuse(const std::string &what) const
    {
        throw std::runtime_error(path + ": " + what);
    }
    uint8_t *slot(int segment, uint64_t offset, size_t bytes) const;
    bool mapped(uint64_t addr, uint64_t bytes) const;
    void rebase(const uint8_t *p, uint32_t size);
    void bind(const uint8_t *p, uint32_t size, bool lazy);

    const std::vector<uint8_t> &f;
    std::string path;
    std::vector<Segment> segments;
    std::vector<std::string> dylibs;
    uint32_t rebase_off = 0, rebase_size = 0, bind_off = 0, bind_size = 0, weak_off = 0,
             weak_size = 0, lazy_off = 0, lazy_size = 0, export_off = 0, export_size = 0;
    uint8_t *base = nullptr;
    uint64_t unwind_addr = 0, unwind_size = 0, eh_addr = 0, eh_size = 0;
};

void Image::parse()
{
    uint32_t magic = read_at<uint32_t>(f, 0);
    if (magic == FAT_MAGIC || magic == FAT_CIGAM)
        refuse("a fat file; give the slice for this CPU");
    if (magic != MH_MAGIC_64)
        refuse("not a 64-bit Mach-O file");
    uint32_t cpu = read_at<uint32_t>(f, 4), type = read_at<uint32_t>(f, 12);
    uint32_t ncmds = read_at<uint32_t>(f, 16), flags = read_at<uint32_t>(f, 24);
    if (cpu != HOST_CPU)
        refuse("built for another CPU type");
    if (type != MH_BUNDLE)
        refuse("not a bundle (MH_BUNDLE)");
    if (!(flags & MH_TWOLEVEL))
        refuse("uses a flat namespace");
    if (flags & MH_HAS_TLV_DESCRIPTORS)
        refuse("has thread-local data");

    uint64_t at = 32;
    for (uint32_t i = 0; i < ncmds; ++i) {
        uint32_t cmd = read_at<uint32_t>(f, at), cmdsize = read_at<uint32_t>(f, at + 4);
        if (cmdsize < 8 || at + cmdsize > f.size())
            refuse("load command " + std::to_string(i) + " runs past the file");
        switch (cmd) {
        case LC_SEGMENT_64: {
            char name[17] = {};
            std::memcpy(name, f.data() + at + 8, 16);
            Segment s{name, read_at<uint64_t>(f, at + 24), read_at<uint64_t>(f, at + 32),
                      read_at<uint64_t>(f, at + 40), read_at<uint64_t>(f, at + 48),
                      read_at<uint32_t>(f, at + 60)};
            if (s.filesize > s.vmsize || s.fileoff > f.size() || s.filesize > f.size() - s.fileoff)
                refuse("segment " + s.name + " lies outside the file");
            uint32_t nsects = read_at<uint32_t>(f, at + 64);
            for (uint32_t k = 0; k < nsects; ++k) {
                uint64_t sect = at + 72 + 80 * uint64_t(k);
                uint32_t kind = read_at<uint32_t>(f, sect + 64) & SECTION_TYPE;
                uint64_t bytes = read_at<uint64_t>(f, sect + 40);
                if ((kind == S_MOD_INIT_FUNC_POINTERS || kind == S_INIT_FUNC_OFFSETS ||
                     kind == S_MOD_TERM_FUNC_POINTERS) && bytes > 0)
                    refuse("has initialisers or terminators");
                if (kind >= S_THREAD_LOCAL_REGULAR && kind <= S_THREAD_LOCAL_INIT_FUNCTION_POINTERS)
                    refuse("has thread-local data");
                char sect_name[17] = {};
                std::memcpy(sect_name, f.data() + sect, 16);
                const uint64_t addr = read_at<uint64_t>(f, sect + 32);
                if (std::strcmp(sect_name, "__unwind_info") == 0)
                    unwind_addr = addr, unwind_size = bytes;
                if (std::strcmp(sect_name, "__eh_frame") == 0)
                    eh_addr = addr, eh_size = bytes;
            }
            segments.push_back(s);
            break;
        }
        case LC_LOAD_DYLIB:
        case LC_LOAD_WEAK_DYLIB:
        case LC_REEXPORT_DYLIB:
        case LC_LAZY_LOAD_DYLIB:
        case LC_LOAD_UPWARD_DYLIB: {
            uint32_t name = read_at<uint32_t>(f, at + 8);
            if (name >= cmdsize)
                refuse("a library name lies outside its load command");
            const char *s = reinterpret_cast<const char *>(f.data() + at + name);
            dylibs.emplace_back(s, strnlen(s, cmdsize - name));
            break;
        }
        case LC_DYLD_INFO:
        case LC_DYLD_INFO_ONLY:
            rebase_off = read_at<uint32_t>(f, at + 8), rebase_size = read_at<uint32_t>(f, at + 12);
            bind_off = read_at<uint32_t>(f, at + 16), bind_size = read_at<uint32_t>(f, at + 20);
            weak_off = read_at<uint32_t>(f, at + 24), weak_size = read_at<uint32_t>(f, at + 28);
            lazy_off = read_at<uint32_t>(f, at + 32), lazy_size = read_at<uint32_t>(f, at + 36);
            export_off = read_at<uint32_t>(f, at + 40), export_size = read_at<uint32_t>(f, at + 44);
            break;
        case LC_DYLD_EXPORTS_TRIE:
            export_off = read_at<uint32_t>(f, at + 8), export_size = read_at<uint32_t>(f, at + 12);
            break;
        case LC_DYLD_CHAINED_FIXUPS:
            refuse("uses chained fixups");
        case LC_MAIN:
        case LC_THREAD:
        case LC_UNIXTHREAD:
            refuse("has an entry point of its own");
        case LC_RPATH:
            break;   // the host libraries are found by install name alone
        default:
            if (cmd & LC_REQ_DYLD)
                refuse("needs load command 0x" + [&] {
                    char h[16];
                    std::snprintf(h, sizeof h, "%x", cmd);
                    return std::string(h);
                }() + ", which this loader does not know");
        }
        at += cmdsize;
    }
    for (uint32_t off : {rebase_off, bind_off, weak_off, lazy_off, export_off})
        if (off > f.size())
            refuse("fixup information lies outside the file");
    if (uint64_t(rebase_off) + rebase_size > f.size() || uint64_t(bind_off) + bind_size > f.size() ||
        uint64_t(weak_off) + weak_size > f.size() || uint64_t(lazy_off) + lazy_size > f.size() ||
        uint64_t(export_off) + export_size > f.size())
        refuse("fixup information lies outside the file");
    if (segments.empty() || export_size == 0)
        refuse("has no segments or no exports");
}

uint8_t *Image::slot(int segment, uint64_t offset, size_t bytes) const
{
    if (segment < 0 || size_t(segment) >= segments.size())
        refuse("a fixup names segment " + std::to_string(segment));
    const Segment &s = segments[segment];
    if (offset > s.vmsize || bytes > s.vmsize - offset)
        refuse("a fixup lies outside segment " + s.name);
    return base + s.vmaddr + offset;
}

// Whether addresses addr .. addr + bytes - 1 lie in one segment.
bool Image::mapped(uint64_t addr, uint64_t bytes) const
{
    for (const Segment &s : segments)
        if (addr - s.vmaddr < s.vmsize && bytes <= s.vmsize - (addr - s.vmaddr))
            return true;
    return false;
}

void Image::rebase(const uint8_t *p, uint32_t size)
{
    Stream in{p, p + size};
    const uint64_t slide = uint64_t(reinterpret_cast<uintptr_t>(base));
    int seg = -1;
    uint64_t off = 0;
    auto apply = [&](uint64_t times, uint64_t step) {
        for (uint64_t i = 0; i < times; ++i, off += step) {
            uint8_t *q = slot(seg, off, 8);
            uint64_t v;
            std::memcpy(&v, q, 8);
            v += slide;
            std::memcpy(q, &v, 8);
        }
    };
    while (!in.done()) {
        uint8_t b = in.byte(), op = b & 0xf0, imm = b & 0x0f;
        switch (op) {
        case 0x00: return;   // REBASE_OPCODE_DONE
        case 0x10:           // SET_TYPE_IMM
            if (imm != 1)
                refuse("has a rebase of a kind other than a pointer");
            break;
        case 0x20: seg = imm, off = in.uleb(); break;   // SET_SEGMENT_AND_OFFSET_ULEB
        case 0x30: off += in.uleb(); break;             // ADD_ADDR_ULEB
        case 0x40: off += imm * 8ull; break;            // ADD_ADDR_IMM_SCALED
        case 0x50: apply(imm, 8); break;                // DO_REBASE_IMM_TIMES
        case 0x60: apply(in.uleb(), 8); break;          // DO_REBASE_ULEB_TIMES
        case 0x70: apply(1, 8 + in.uleb()); break;      // DO_REBASE_ADD_ADDR_ULEB
        case 0x80: {                                    // DO_REBASE_ULEB_TIMES_SKIPPING_ULEB
            uint64_t times = in.uleb();
            apply(times, 8 + in.uleb());
            break;
        }
        default: refuse("has an unknown rebase opcode");
        }
    }
}

void Image::bind(const uint8_t *p, uint32_t size, bool lazy)
{
    Stream in{p, p + size};
    int seg = -1;
    uint64_t off = 0;
    int64_t ordinal = 0, addend = 0;
    std::string symbol;
    auto apply = [&](uint64_t times, uint64_t step) {
        if (ordinal < 1 || uint64_t(ordinal) > dylibs.size())
            refuse("binds " + symbol + " without naming a library it loads");
        void *target;
        try {
            target = resolve(dylibs[ordinal - 1], symbol);
        } catch (const std::runtime_error &e) {
            refuse(e.what());
        }
        for (uint64_t i = 0; i < times; ++i, off += step) {
            uint64_t v = uint64_t(reinterpret_cast<uintptr_t>(target)) + uint64_t(addend);
            std::memcpy(slot(seg, off, 8), &v, 8);
        }
    };
    while (!in.done()) {
        uint8_t b = in.byte(), op = b & 0xf0, imm = b & 0x0f;
        switch (op) {
        case 0x00:   // BIND_OPCODE_DONE: ends one lazy entry, or the whole stream
            if (!lazy)
                return;
            break;
        case 0x10: ordinal = imm; break;           // SET_DYLIB_ORDINAL_IMM
        case 0x20: ordinal = in.uleb(); break;     // SET_DYLIB_ORDINAL_ULEB
        case 0x30:                                 // SET_DYLIB_SPECIAL_IMM
            refuse("binds a symbol by flat or main-program lookup");
        case 0x40: symbol = in.cstring(); break;   // SET_SYMBOL_TRAILING_FLAGS_IMM
        case 0x50:                                 // SET_TYPE_IMM
            if (imm != 1)
                refuse("has a bind of a kind other than a pointer");
            break;
        case 0x60: addend = in.sleb(); break;              // SET_ADDEND_SLEB
        case 0x70: seg = imm, off = in.uleb(); break;      // SET_SEGMENT_AND_OFFSET_ULEB
        case 0x80: off += in.uleb(); break;                // ADD_ADDR_ULEB
        case 0x90: apply(1, 8); break;                     // DO_BIND
        case 0xa0: apply(1, 8 + in.uleb()); break;         // DO_BIND_ADD_ADDR_ULEB
        case 0xb0: apply(1, 8 + imm * 8ull); break;        // DO_BIND_ADD_ADDR_IMM_SCALED
        case 0xc0: {                                       // DO_BIND_ULEB_TIMES_SKIPPING_ULEB
            uint64_t times = in.uleb();
            apply(times, 8 + in.uleb());
            break;
        }
        default: refuse("has an unknown or threaded bind opcode");
        }
    }
}

void Image::map(void *&mapped, size_t &mapped_size)
{
    uint64_t top = 0;
    for (const Segment &s : segments) {
        if (s.vmaddr > UINT64_MAX - s.vmsize)
            refuse("segment " + s.name + " wraps around");
        top = std::max(top, s.vmaddr + s.vmsize);
    }
    if (top > (uint64_t(1) << 32))
        refuse("spans more than 4 GB");
    const uint64_t page = uint64_t(sysconf(_SC_PAGESIZE));
    top = (top + page - 1) / page * page;   // as dyld does, the last page is whole
    void *m = mmap(nullptr, top, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        refuse("cannot be mapped");
    mapped = m, mapped_size = top;
    base = static_cast<uint8_t *>(m);
    for (const Segment &s : segments)
        std::memcpy(base + s.vmaddr, f.data() + s.fileoff, s.filesize);

    rebase(f.data() + rebase_off, rebase_size);
    bind(f.data() + bind_off, bind_size, false);
    bind(f.data() + lazy_off, lazy_size, true);
    // Weak binds coalesce definitions across images; a bundle that needs them is not
    // one that calls nothing but the host.
    Stream weak{f.data() + weak_off, f.data() + weak_off + weak_size};
    while (!weak.done())
        if (weak.byte() != 0)
            refuse("has weak bindings");

    for (const Segment &s : segments) {
        if (s.vmsize == 0)
            continue;
        if (s.vmaddr % page)
            refuse("segment " + s.name + " does not start on a page");
        if (s.initprot & PROT_EXEC)
            __builtin___clear_cache(reinterpret_cast<char *>(base + s.vmaddr),
                                    reinterpret_cast<char *>(base + s.vmaddr + s.vmsize));
        if (mprotect(base + s.vmaddr, (s.vmsize + page - 1) / page * page,
                     int(s.initprot & 7)) != 0)
            refuse("segment " + s.name + " cannot take its protections");
    }
}

// The unwind tables Linux's unwinder is to read for the bundle: `compact`, made from
// its __unwind_info, and, for entries that defer to DWARF, its own __eh_frame in place
// (`own`), whose pointers are relative to where it lies.
void Image::unwind_tables(std::vector<uint8_t> &compact, void *&own) const
{
    if (unwind_size == 0 || !mapped(unwind_addr, unwind_size))
        refuse("has no unwind entries (__unwind_info)");
    size_t dwarf = 0;
    try {
        compact = eh_frame_from_compact(base, base + unwind_addr, unwind_size,
                                        read_at<uint32_t>(f, 4), &dwarf);
    } catch (const std::runtime_error &e) {
        refuse(e.what());
    }
    own = nullptr;
    if (dwarf == 0)
        return;
    // The unwinder reads __eh_frame up to a zero length, which the section itself
    // does not hold: the padding after it must.
    uint32_t mark = 1;
    if (eh_size > 0 && mapped(eh_addr, eh_size + 4))
        std::memcpy(&mark, base + eh_addr + eh_size, 4);
    if (mark != 0)
        refuse("has unwind entries in __eh_frame without room for its end mark");
    own = base + eh_addr;
}

// Follows the export trie along `name`; the address is relative to the image's start.
Gateway Image::find_gateway() const
{
    const std::string name = "_mexFunction";
    const uint8_t *trie = f.data() + export_off;
    uint64_t node = 0;
    size_t matched = 0;
    for (int depth = 0; depth < 256; ++depth) {
        if (node >= export_size)
            refuse("has a broken export trie");
        Stream in{trie + node, trie + export_size};
        uint64_t terminal = in.uleb();
        const uint8_t *children = in.p + terminal;
        if (matched == name.size()) {
            if (terminal == 0)
                break;
            uint64_t flags = in.uleb();
            if (flags & ~uint64_t(0x04))   // anything but a regular (or weak) definition
                refuse("exports _mexFunction as a re-export, resolver or non-code symbol");
            // Addresses count from the Mach header, at the start of the segment that
            // maps the file's first bytes.
            uint64_t header = 0;
            for (const Segment &s : segments)
                if (s.fileoff == 0 && s.filesize > 0)
                    header = s.vmaddr;
            uint64_t address = in.uleb() + header;
            for (const Segment &s : segments)
                if ((s.initprot & PROT_EXEC) && address - s.vmaddr < s.vmsize)
                    return reinterpret_cast<Gateway>(base + address);
            refuse("exports _mexFunction outside its code");
        }
        Stream edges{children, trie + export_size};
        uint8_t count = edges.byte();
        bool followed = false;
        for (uint8_t i = 0; i < count && !followed; ++i) {
            std::string label = edges.cstring();
            uint64_t next = edges.uleb();
            if (name.compare(matched, label.size(), label) == 0 && !label.empty()) {
                matched += label.size(), node = next, followed = true;
            }
        }
        if (!followed)
            break;
    }
    refuse("does not export _mexFunction");
}

} // namespace

bool is_macho(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    uint32_t magic = 0;
    in.read(reinterpret_cast<char *>(&magic), sizeof magic);
    return in && (magic == MH_MAGIC_64 || magic == FAT_MAGIC || magic == FAT_CIGAM);
}

extern "C" void __register_frame(void *begin);
extern "C" void __deregister_frame(void *begin);

MachOBundle::MachOBundle(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Image image(file, path);
    try {
        image.parse();
        image.map(base_, size_);
        gateway_ = image.find_gateway();
        image.unwind_tables(unwind_, own_unwind_);
    } catch (...) {
        if (base_)
            munmap(base_, size_);
        throw;
    }
    __register_frame(unwind_.data());
    if (own_unwind_)
        __register_frame(own_unwind_);
}

MachOBundle::~MachOBundle()
{
    if (own_unwind_)
        __deregister_frame(own_unwind_);
    __deregister_frame(unwind_.data());
    munmap(base_, size_);
}

void MachOBundle::call(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) const
{
    gateway_(nlhs, plhs, nrhs, prhs);
}

} // namespace standin
