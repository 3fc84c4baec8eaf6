#include "state/FieldHistories.h"

#include "platform/runtime/App.h"

namespace pellora::state {

namespace {
// HistoryList::Open's fixed arguments besides the file name and the application object.
const QString kNoFolder;
const QString kNoSection;
constexpr int kDefaultFlags = -1;
} // namespace

void LoadHistories(const FieldHistories& lists) {
    // Computer names ignore letter case (NetBIOS upper-cases them): "pc7" and "PC7" are one
    // entry. Sender and recipient names keep theirs.
    const struct {
        HistoryPtr& member;
        QLatin1String file;
        Qt::CaseSensitivity letterCase;
    } each[] = {{lists.From, FromHistoryFileName, Qt::CaseSensitive},
                {lists.To, ToHistoryFileName, Qt::CaseSensitive},
                {lists.Computer, ComputerHistoryFileName, Qt::CaseInsensitive}};
    for (const auto& list : each) {
        list.member = std::make_unique<platform::HistoryList>();
        list.member->SetLetterCase(list.letterCase);
        const AppObject& app = App();
        list.member->Open(QString(list.file), kNoFolder, app, kNoSection, kDefaultFlags);
        list.member->Load();
    }
}

void RecordNames(const FieldHistories& lists, const QString& from, const QString& to, const QString& computer) {
    lists.From->Add(from);
    lists.To->Add(to);
    lists.Computer->Add(computer);
}

void SaveHistories(const FieldHistories& lists) {
    for (HistoryPtr* list : {&lists.From, &lists.To, &lists.Computer}) {
        if (*list)
            (*list)->Save();
        list->reset();
    }
}

} // namespace pellora::state
