#include "vsim/FleetStore.h"

#include "vsim/HandsetRegistry.h"
#include "vsim/PgSession.h"
#include "vsim/PostgresChanges.h"
#include "vsim/RecordStore.h"

#include <map>
#include <memory>

namespace {

// The log file of this PC and the table of handsets beside it.
class TLocalChanges : public TChangeStore {
public:
    std::string Where() const override { return File->Where(); }
    std::string Ready() override { return File->Ready(); }
    std::string Append(const TChangeRecord& record) override { return File->Append(record); }
    TChangeLogContents Read(const TChangeFilter& filter, int64_t from) override {
        return File->Read(filter, from);
    }
    int64_t End() override { return File->End(); }
    TChainCheck Check(int64_t from) override { return File->Check(from); }

    std::string NoteSeen(const THandsetRow& row) override { return NoteHandsetSeen(row); }
    std::string NoteTemplate(const std::string& serial, const std::string& templateName,
                             const std::string& templateHash, const std::string& verify) override {
        return NoteTemplateGiven(serial, templateName, templateHash, verify);
    }
    std::vector<THandsetRow> Handsets() override {
        try {
            return KnownHandsets();
        } catch (const std::runtime_error& e) {
            throw EStoreError(std::string("The table of handsets cannot be read: ") + e.what());
        }
    }

private:
    const std::unique_ptr<TChangeStore> File = OpenChangeFile();
};

} // namespace

TChangeStore& FleetStore() {
    static TLocalChanges local;
    static std::map<std::string, std::unique_ptr<TChangeStore>> shared;
    const std::string address = RecordStoreAddress();
    if (!IsPgUri(address))
        return local;
    std::unique_ptr<TChangeStore>& store = shared[address];
    if (!store)
        store = OpenPostgresChanges(address);
    return *store;
}

void UseFleetStore() {
    SetChangeStoreOpener(FleetStore);
}
