#include "platform/ChangeStore.h"

namespace {

class TChangeFile : public TChangeStore {
public:
    explicit TChangeFile(std::string path)
        : Fixed(std::move(path)) {}

    std::string Where() const override { return Path(); }
    std::string Ready() override { return {}; }
    std::string Append(const TChangeRecord& record) override { return AppendChange(record, Path()); }
    TChangeLogContents Read(const TChangeFilter& filter, int64_t from) override {
        return ReadChangeLog(filter, Path(), from);
    }
    int64_t End() override { return ChangeLogEnd(Path()); }
    TChainCheck Check(int64_t from) override { return CheckChangeChain(Path(), from); }

    std::string NoteSeen(const THandsetRow&) override { return {}; }
    std::string NoteTemplate(const std::string&, const std::string&, const std::string&,
                             const std::string&) override {
        return {};
    }
    std::vector<THandsetRow> Handsets() override { return {}; }

private:
    std::string Path() const { return Fixed.empty() ? ChangeLogPath() : Fixed; }

    const std::string Fixed;
};

std::function<TChangeStore&()>& Opener() {
    static std::function<TChangeStore&()> opener;
    return opener;
}

} // namespace

THandsetRow HandsetSeen(const THandsetIdentity& handset, int model, int capacity) {
    const TChangeAuthor now = ChangeAuthorNow();
    THandsetRow row;
    row.Serial = handset.serial.value_or("");
    row.Software = handset.software;
    row.Pcs = handset.pcs;
    row.Model = model;
    row.Capacity = capacity;
    row.FirstSeen = now.Time;
    row.LastSeen = now.Time;
    row.LastPc = now.Pc;
    row.LastPort = handset.PortName();
    return row;
}

std::unique_ptr<TChangeStore> OpenChangeFile(const std::string& path) {
    return std::make_unique<TChangeFile>(path);
}

TChangeStore& ChangeStore() {
    if (Opener())
        return Opener()();
    static const std::unique_ptr<TChangeStore> file = OpenChangeFile();
    return *file;
}

void SetChangeStoreOpener(std::function<TChangeStore&()> opener) {
    Opener() = std::move(opener);
}
