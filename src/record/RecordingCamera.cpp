#include "record/RecordingCamera.h"

const RecordCameraKind* FindRecordCamera(const std::string& word)
{
    for (const RecordCameraKind& kind : RecordCameraKinds())
        if (word == kind.word)
            return &kind;
    return nullptr;
}

std::string RecordCameraWords(const char* between, const char* beforeLast)
{
    const std::vector<RecordCameraKind>& kinds = RecordCameraKinds();
    std::string words;
    for (size_t i = 0; i < kinds.size(); ++i)
    {
        if (i > 0)
            words += i + 1 == kinds.size() ? beforeLast : between;
        words += kinds[i].word;
    }
    return words;
}
