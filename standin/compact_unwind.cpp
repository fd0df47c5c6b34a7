// Compact unwind entries (mach-o/compact_unwind_encoding.h) rewritten as DWARF call
// frame information that Linux's unwinder reads. Each encoding states where a
// function's caller's registers are once its prologue has run, which holds at every
// call the function makes: enough for the synchronous unwinding of a C++ exception,
// whose frames all stand at calls. The rules follow what macOS's libunwind does with
// each encoding.
#include "compact_unwind.h"

#include <cstring>
#include <string>

namespace standin {

namespace {

constexpr uint8_t DW_CFA_offset = 0x80, DW_CFA_offset_extended = 0x05, DW_CFA_def_cfa = 0x0c,
                  DW_CFA_nop = 0x00;

uint32_t u32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t u16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

struct Writer {
    std::vector<uint8_t> out;
    void byte(uint8_t b) { out.push_back(b); }
    void uleb(uint64_t v)
    {
        do {
            uint8_t b = v & 0x7f;
            v >>= 7;
            byte(v ? b | 0x80 : b);
        } while (v);
    }
    void word(uint32_t v) { out.insert(out.end(), (uint8_t *)&v, (uint8_t *)&v + 4); }
    void quad(uint64_t v) { out.insert(out.end(), (uint8_t *)&v, (uint8_t *)&v + 8); }
    // Register `reg` saved at CFA - 8 * slot.
    void saved(unsigned reg, unsigned slot)
    {
        if (reg < 64) {
            byte(DW_CFA_offset | reg);
        } else {
            byte(DW_CFA_offset_extended);
            uleb(reg);
        }
        uleb(slot);
    }
    void cfa(unsigned reg, uint64_t offset)
    {
        byte(DW_CFA_def_cfa);
        uleb(reg);
        uleb(offset);
    }
    // Pads the entry that starts at `start` to 8 bytes and writes its length.
    void close(size_t start)
    {
        while ((out.size() - start) % 8)
            byte(DW_CFA_nop);
        uint32_t length = uint32_t(out.size() - start - 4);
        std::memcpy(out.data() + start, &length, 4);
    }
};

// x86-64: registers in the order of the compact numbering (1 rbx, 2 r12, 3 r13,
// 4 r14, 5 r15, 6 rbp) as DWARF numbers.
const unsigned X86_64_DWARF[7] = {0, 3, 12, 13, 14, 15, 6};

// The frameless encodings' saved registers, numbered 1..6 as above, from the Lehmer
// code of their permutation.
void unpermute(uint32_t count, uint32_t permutation, unsigned *saved)
{
    static const uint32_t radix[7][6] = {{}, {1}, {5, 1}, {20, 4, 1}, {60, 12, 3, 1},
                                         {120, 24, 6, 2, 1}, {120, 24, 6, 2, 1, 1}};
    unsigned digit[6] = {};
    for (uint32_t i = 0; i < count; ++i) {
        digit[i] = permutation / radix[count][i];
        permutation -= digit[i] * radix[count][i];
    }
    bool used[7] = {};
    for (uint32_t i = 0; i < count; ++i) {
        unsigned rank = 0;
        for (unsigned r = 1; r <= 6; ++r)
            if (!used[r] && rank++ == digit[i]) {
                saved[i] = r, used[r] = true;
                break;
            }
    }
}

// The call frame instructions of one encoding; false for a DWARF-mode entry.
bool instructions(Writer &w, uint32_t cpu, uint32_t e, const uint8_t *function)
{
    const uint32_t mode = e & 0x0f000000;
    if (cpu == CPU_TYPE_X86_64) {
        switch (mode) {
        case 0x01000000: {   // RBP frame: registers saved below rbp - 8 * offset
            const uint32_t offset = (e >> 16) & 0xff, registers = e & 0x7fff;
            w.cfa(6, 16);
            w.saved(16, 1);
            w.saved(6, 2);
            for (uint32_t i = 0; i < 5; ++i)
                if (unsigned r = (registers >> (3 * i)) & 7)
                    w.saved(X86_64_DWARF[r], 2 + offset - i);
            return true;
        }
        case 0x02000000:     // frameless, stack size in the encoding
        case 0x03000000: {   // frameless, stack size in the function's sub instruction
            uint32_t size = ((e >> 16) & 0xff) * 8, count = (e >> 10) & 7;
            if (mode == 0x03000000)
                size = u32(function + ((e >> 16) & 0xff)) + 8 * ((e >> 13) & 7);
            if (count > 6)
                throw std::runtime_error("a frameless unwind entry saves more than 6 registers");
            unsigned saved[6] = {};
            unpermute(count, e & 0x3ff, saved);
            w.cfa(7, size);
            w.saved(16, 1);
            for (uint32_t i = 0; i < count; ++i)
                w.saved(X86_64_DWARF[saved[i]], 1 + count - i);
            return true;
        }
        case 0x04000000:
            return false;
        }
    } else if (cpu == CPU_TYPE_ARM64) {
        switch (mode) {
        case 0x02000000:   // frameless leaf: the return address stays in x30
            w.cfa(31, ((e >> 12) & 0xfff) * 16);
            return true;
        case 0x04000000: {   // frame: x29 and x30 at fp, register pairs below it
            w.cfa(29, 16);
            w.saved(30, 1);
            w.saved(29, 2);
            unsigned slot = 3;
            static const unsigned pairs[9][3] = {
                {0x001, 19, 20}, {0x002, 21, 22}, {0x004, 23, 24}, {0x008, 25, 26},
                {0x010, 27, 28}, {0x100, 72, 73}, {0x200, 74, 75}, {0x400, 76, 77},
                {0x800, 78, 79}};
            for (auto &p : pairs)
                if (e & p[0]) {
                    w.saved(p[1], slot++);
                    w.saved(p[2], slot++);
                }
            return true;
        }
        case 0x03000000:
            return false;
        }
    }
    throw std::runtime_error("has an unwind encoding 0x" + [e] {
        char h[16];
        std::snprintf(h, sizeof h, "%08x", e);
        return std::string(h);
    }() + " that this loader cannot express");
}

} // namespace

std::vector<uint8_t> eh_frame_from_compact(const uint8_t *image, const uint8_t *info,
                                           size_t size, uint32_t cpu, size_t *dwarf_entries)
{
    auto need = [&](uint64_t off, uint64_t bytes) {
        if (off > size || bytes > size - off)
            throw std::runtime_error("has a broken __unwind_info");
    };
    need(0, 28);
    const uint32_t common_off = u32(info + 4), common_count = u32(info + 8);
    const uint32_t index_off = u32(info + 20), index_count = u32(info + 24);
    need(common_off, 4ull * common_count);
    need(index_off, 12ull * index_count);
    if (u32(info) != 1 || index_count == 0)
        throw std::runtime_error("has an __unwind_info of an unknown version");

    // Every entry's start and encoding, in address order; each ends where the next
    // starts, and the last where the index's end mark says.
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    for (uint32_t i = 0; i + 1 < index_count; ++i) {
        const uint8_t *index = info + index_off + 12 * i;
        const uint32_t base = u32(index), page = u32(index + 4);
        need(page, 12);
        const uint8_t *p = info + page;
        const uint32_t kind = u32(p), first = u16(p + 4), count = u16(p + 6);
        if (kind == 2) {   // regular page: (function, encoding) pairs
            need(page + first, 8ull * count);
            for (uint32_t k = 0; k < count; ++k)
                entries.emplace_back(u32(p + first + 8 * k), u32(p + first + 8 * k + 4));
        } else if (kind == 3) {   // compressed: 24-bit offset from base, encoding index
            const uint32_t local_off = u16(p + 8), local_count = u16(p + 10);
            need(page + first, 4ull * count);
            need(page + local_off, 4ull * local_count);
            for (uint32_t k = 0; k < count; ++k) {
                const uint32_t v = u32(p + first + 4 * k), which = v >> 24;
                uint32_t e;
                if (which < common_count)
                    e = u32(info + common_off + 4 * which);
                else if (which - common_count < local_count)
                    e = u32(p + local_off + 4 * (which - common_count));
                else
                    throw std::runtime_error("has a broken __unwind_info");
                entries.emplace_back(base + (v & 0xffffff), e);
            }
        } else {
            throw std::runtime_error("has an __unwind_info page of an unknown kind");
        }
    }
    const uint32_t end = u32(info + index_off + 12 * (index_count - 1));

    Writer w;
    w.word(0);   // the CIE: pointers absolute, data factor -8
    w.word(0);
    w.byte(1);
    for (char c : {'z', 'R', '\0'})
        w.byte(uint8_t(c));
    w.uleb(1);
    w.byte(0x78);   // sleb -8
    w.uleb(cpu == CPU_TYPE_X86_64 ? 16 : 30);
    w.uleb(1);
    w.byte(0x00);   // DW_EH_PE_absptr
    w.close(0);
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint32_t start = entries[i].first, e = entries[i].second;
        const uint32_t stop = i + 1 < entries.size() ? entries[i + 1].first : end;
        if (e == 0 || stop <= start)
            continue;   // no unwind information: the coverage test fails such a bundle
        const size_t fde = w.out.size();
        w.word(0);
        w.word(uint32_t(fde + 4));   // back to the CIE at offset 0
        w.quad(uint64_t(reinterpret_cast<uintptr_t>(image + start)));
        w.quad(stop - start);
        w.uleb(0);
        if (!instructions(w, cpu, e, image + start)) {
            w.out.resize(fde);
            ++*dwarf_entries;
            continue;
        }
        w.close(fde);
    }
    w.word(0);
    return w.out;
}

} // namespace standin
