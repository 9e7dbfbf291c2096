#include "framework/DialogTemplate.h"

#include <objbase.h>

#include <cstring>

namespace {

class Reader {
public:
    Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    bool ok() const { return m_ok; }
    size_t pos() const { return m_pos; }
    void align(size_t n) { m_pos = (m_pos + n - 1) / n * n; }

    template <class T>
    T read() {
        T v{};
        if (m_pos + sizeof(T) > m_size) {
            m_ok = false;
            m_pos = m_size;
            return v;
        }
        std::memcpy(&v, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return v;
    }

    std::wstring readString() {
        std::wstring s;
        for (;;) {
            const WCHAR c = read<WCHAR>();
            if (!m_ok || c == 0) break;
            s.push_back(c);
        }
        return s;
    }

    // sz_Or_Ord field: 0 = none, 0xFFFF + ordinal, or a string.
    void readSzOrOrd(std::wstring& str, WORD& ord) {
        const WORD first = read<WORD>();
        if (!m_ok || first == 0) return;
        if (first == 0xFFFF) {
            ord = read<WORD>();
            return;
        }
        str.push_back(static_cast<WCHAR>(first));
        str += readString();
    }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

bool IsClsidName(const std::wstring& name, CLSID& clsid) {
    if (name.size() != 38 || name.front() != L'{' || name.back() != L'}') return false;
    return SUCCEEDED(::CLSIDFromString(name.c_str(), &clsid));
}

} // namespace

bool ParseDialogTemplate(const BYTE* data, size_t size, DialogTemplateInfo& out) {
    out = DialogTemplateInfo{};
    if (!data || size < 18) return false;
    Reader r(data, size);
    WORD count = 0;
    const WORD w0 = r.read<WORD>();
    const WORD w1 = r.read<WORD>();
    out.extended = (w0 == 1 && w1 == 0xFFFF);
    if (out.extended) {
        out.version = w0;
        out.helpId = r.read<DWORD>();
        out.exStyle = r.read<DWORD>();
        out.style = r.read<DWORD>();
    } else {
        out.style = static_cast<DWORD>(w0) | (static_cast<DWORD>(w1) << 16);
        out.exStyle = r.read<DWORD>();
    }
    count = r.read<WORD>();
    out.x = r.read<short>();
    out.y = r.read<short>();
    out.cx = r.read<short>();
    out.cy = r.read<short>();
    WORD ord = 0;
    r.readSzOrOrd(out.menu, ord);
    r.readSzOrOrd(out.windowClass, ord);
    out.caption = r.readString();
    if (out.style & (DS_SETFONT | DS_SHELLFONT)) {
        out.pointSize = r.read<WORD>();
        if (out.extended) {
            out.weight = r.read<WORD>();
            out.italic = r.read<BYTE>();
            out.charset = r.read<BYTE>();
        }
        out.typeface = r.readString();
    }
    if (!r.ok()) return false;
    out.headerSize = r.pos();
    for (WORD i = 0; i < count; ++i) {
        r.align(4);
        DialogTemplateItem item;
        item.offset = r.pos();
        if (out.extended) {
            item.helpId = r.read<DWORD>();
            item.exStyle = r.read<DWORD>();
            item.style = r.read<DWORD>();
        } else {
            item.style = r.read<DWORD>();
            item.exStyle = r.read<DWORD>();
        }
        item.x = r.read<short>();
        item.y = r.read<short>();
        item.cx = r.read<short>();
        item.cy = r.read<short>();
        item.id = out.extended ? r.read<DWORD>() : r.read<WORD>();
        r.readSzOrOrd(item.className, item.classOrdinal);
        r.readSzOrOrd(item.title, item.titleOrdinal);
        const WORD extra = r.read<WORD>();
        for (WORD k = 0; k < extra && r.ok(); ++k) item.extra.push_back(r.read<BYTE>());
        if (!r.ok()) return false;
        item.size = r.pos() - item.offset;
        out.items.push_back(std::move(item));
    }
    return true;
}

std::vector<DlgInitRecord> ParseDlgInit(const BYTE* data, size_t size) {
    std::vector<DlgInitRecord> records;
    size_t pos = 0;
    while (data && pos + sizeof(WORD) <= size) {
        WORD id;
        std::memcpy(&id, data + pos, sizeof id);
        if (id == 0) break;
        if (pos + 8 > size) break;
        DlgInitRecord rec;
        rec.id = id;
        std::memcpy(&rec.message, data + pos + 2, sizeof(WORD));
        DWORD len;
        std::memcpy(&len, data + pos + 4, sizeof len);
        pos += 8;
        if (len > size - pos) break;
        rec.data.assign(data + pos, data + pos + len);
        pos += len;
        records.push_back(std::move(rec));
    }
    return records;
}

std::vector<BYTE> StripActiveXItems(const BYTE* data, size_t size, std::vector<DialogControlItem>& removed) {
    removed.clear();
    DialogTemplateInfo info;
    if (!ParseDialogTemplate(data, size, info)) return std::vector<BYTE>(data, data + size);
    std::vector<BYTE> out(data, data + info.headerSize);
    WORD kept = 0;
    for (const DialogTemplateItem& item : info.items) {
        CLSID clsid;
        if (IsClsidName(item.className, clsid)) {
            DialogControlItem ctl;
            ctl.clsid = clsid;
            ctl.id = item.id;
            ctl.style = item.style;
            ctl.exStyle = item.exStyle;
            ctl.dluRect = RECT{item.x, item.y, item.x + item.cx, item.y + item.cy};
            ctl.title = item.title;
            removed.push_back(std::move(ctl));
            continue;
        }
        out.resize((out.size() + 3) / 4 * 4, 0);
        out.insert(out.end(), data + item.offset, data + item.offset + item.size);
        ++kept;
    }
    // Item count: offset 16 in an extended template, 8 in a classic one.
    const size_t countOffset = info.extended ? 16 : 8;
    std::memcpy(out.data() + countOffset, &kept, sizeof kept);
    return out;
}
