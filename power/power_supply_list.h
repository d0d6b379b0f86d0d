#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tellavo {

// The chargers and batteries of the machine itself under the kernel's power
// supply class (/sys/class/power_supply), kept between reads so that a reading
// once a second costs a few system calls and no allocation: the list is made by
// one scan of the folder and each attribute file is opened once, then read
// again from offset 0 (sysfs produces a fresh value at every read from the start).
//
// The list is made anew (every file closed, the folder scanned again) only when:
// - a read of a kept file fails and its supply's folder is missing: the supply
//   has gone (sysfs fails the reads of its files from then on);
// - a fresh listing of the folder, taken every relistMs, differs from the last
//   one, or the folder at the root's path is another: a supply came, went or
//   was registered anew (sysfs tells inotify nothing of these);
// - the root is a link or missing (or no folder): then at every refresh, as a
//   link may be pointed elsewhere and a missing folder may come, and neither
//   has a folder of its own to list.
//
// A read that fails while its supply's folder is there is a driver that does
// not know that value (an ACPI battery answers ENODEV for power_now,
// energy_full, current_now ... for a while or for good): the file is closed and
// the attribute reads as absent until the next listing, when it is opened and
// read again. A value that fails for good thus costs one open, read and close
// a listing, and one that comes back is read within relistMs.
//
// The listing sees supplies, not their files: a file added, removed or
// replaced inside a supply's folder, or a type or scope rewritten, shows once
// that supply comes anew. So it is on sysfs, where values change in place (a
// kept file reads them fresh) and a driver registers a supply anew to change
// its files.
//
// Own supplies, told as upowerd tells them: type Battery is a battery, Mains
// and USB... are chargers, and any other type (Unknown, Wireless, UPS ...) is a
// charger when it has an online file, else a battery. A folder with no type,
// or of scope "Device" (mice, keyboards, headsets), is left out. A battery
// whose present is 0 stays listed but is not inSlot(). A file that is missing,
// is not a regular file (a FIFO would block), is too long or holds a NUL reads
// as absent, as if it were not there.
//
// At most kMaxOpenFiles attribute files are kept open, each O_CLOEXEC; further
// attributes are opened, read and closed at every read. Not thread-safe: one
// thread uses a list.
//
// Besides SysfsPowerSource, a reader of other attributes can share the
// source's list (source.supplies()). Indices stay valid until the next refresh().
class PowerSupplyList {
public:
    enum class Kind { Charger, Battery };
    // The attributes read through kept files; any of them may be missing.
    enum Attribute {
        Online,
        Status,
        Present,
        Capacity,
        EnergyNow,
        EnergyFull,
        ChargeNow,
        ChargeFull,
        PowerNow,
        CurrentNow,
        VoltageNow,
        // A charge counts as energy at the design voltage.
        VoltageMaxDesign,
        VoltageMinDesign,
        // Read for the tool tip only.
        ModelName,
        EnergyFullDesign,
        ChargeFullDesign,
        CycleCount,
        LimitEnd,    // charge_control_end_threshold
        LimitStart,  // charge_control_start_threshold
        AttributeCount
    };

    // An attribute is one short line ("Discharging\n", "48230000\n"); a file
    // that fills this buffer is not one.
    static constexpr std::size_t kValueSize = 64;
    using Value = char[kValueSize];

    static constexpr int kMaxOpenFiles = 48;
    static constexpr int kRelistMs = 5000;

    // relistMs: how often the folder is listed again (0: at every refresh).
    explicit PowerSupplyList(std::string root, int relistMs = kRelistMs);
    ~PowerSupplyList();
    PowerSupplyList(const PowerSupplyList&) = delete;
    PowerSupplyList& operator=(const PowerSupplyList&) = delete;

    // Makes the list anew when one of the causes above says so; otherwise no
    // system call, and the listing (four) when it is due.
    void refresh();

    std::size_t count() const { return m_supplies.size(); }
    Kind kind(std::size_t i) const { return m_supplies[i].kind; }
    const std::string& name(std::size_t i) const { return m_supplies[i].name; }
    // A charger, or a battery that is in its slot: present is not 0 (a
    // missing or unreadable present says nothing against it). Reads present.
    bool inSlot(std::size_t i);

    // The attribute's text without its line end; false when it reads as absent.
    bool text(std::size_t i, Attribute attribute, Value& value);
    // A whole number as the kernel writes it: digits only, at most 18 of them.
    bool number(std::size_t i, Attribute attribute, long long& count);
    // The same with a leading minus allowed: some drivers write a battery's
    // rate negative while it discharges.
    bool signedNumber(std::size_t i, Attribute attribute, long long& value);

    // How many times the list was made: nothing else shows a test that the
    // list was kept.
    unsigned long scans() const { return m_scans; }

private:
    // A file's descriptor, or one of these.
    static constexpr int kNotOpened = -1;  // opened at its first read
    static constexpr int kAbsent = -2;     // missing or no regular file
    static constexpr int kByPath = -3;     // past kMaxOpenFiles: opened at every read
    static constexpr int kFailed = -4;     // its read failed: absent until the next listing

    struct Supply {
        std::string name;
        Kind kind;
        int files[AttributeCount];
        bool gone = false;  // its folder went: nothing of it is read until the scan
    };

    void scan();
    void forget();
    void readFailed(Supply& supply, int& file);
    bool rootReplaced() const;

    const std::string m_root;
    const int m_relistMs;
    std::vector<Supply> m_supplies;
    int m_rootFd = -1;
    bool m_trusted = false;  // the list may be kept: its changes would be seen
    bool m_stale = false;    // a supply has gone: scan at the next refresh
    int m_openFiles = 0;
    int m_failedFiles = 0;
    // The root folder's device and inode at the scan, for the listing to see
    // another put in its place.
    unsigned long long m_rootDev = 0;
    unsigned long long m_rootIno = 0;
    unsigned long m_scans = 0;
    // The folder's entries (inode and name) at the last scan, hashed, and the
    // coarse monotonic time in ms when it is due to be listed again.
    unsigned long long m_listing = 0;
    long long m_relistAt = 0;
};

}  // namespace tellavo
