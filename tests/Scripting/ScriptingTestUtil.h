#pragma once
// Shared pieces of the scripting tests: native functions that record their calls, and a log capture.
#include "Engine/ArgumentArray.h"
#include "Engine/Context.h"
#include "Engine/FileLog.h"
#include "Engine/Function.h"
#include "Engine/UnlimitedStream.h"

#include <functional>
#include <string>
#include <vector>

namespace ScriptingTest {

using namespace Tessera3D;

// A native function standing in for a script function: records each call's values (cloned) and runs
// an optional body.
class CRecordingFunction : public CFunction {
public:
    using Body = std::function<void(const CArgumentArray&)>;

    explicit CRecordingFunction(Body body = {}) : m_Body(std::move(body)) {}

    bool Call(const CArgumentArray& arguments, CReturnValue* pResult) override {
        Strong<CArgumentArray> pCopy = Strong<CArgumentArray>::Adopt(new CArgumentArray());
        for (const Strong<CArgument>& pValue : arguments) pCopy->Add(pValue.Get());
        m_Calls.push_back(pCopy);
        if (m_Body) m_Body(arguments);
        return m_bResult;
    }

    size_t GetCallCount() const { return m_Calls.size(); }
    const CArgumentArray& GetCall(size_t index) const { return *m_Calls.at(index); }

    Body m_Body;
    bool m_bResult = true;
    std::vector<Strong<CArgumentArray>> m_Calls;
};

inline Strong<CRecordingFunction> Recorder(CRecordingFunction::Body body = {}) {
    return MakeStrong<CRecordingFunction>(std::move(body));
}

// Routes the process log into memory for its lifetime; lines come back with their type prefix
// ("[WARN]    ..." and so on).
class CLogCapture {
public:
    CLogCapture() : m_pPrevious(GGlobal.m_pContext), m_Context("") {
        m_Context.GetFileLog().Open(m_pLog.Get());
        GGlobal.m_pContext = &m_Context;
    }
    ~CLogCapture() { GGlobal.m_pContext = m_pPrevious; }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<std::string> Lines() const {
        const std::string text(reinterpret_cast<const char*>(m_pLog->GetData()), m_pLog->GetSize());
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    // Only the lines of one type prefix, without the prefix.
    std::vector<std::string> Lines(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const std::string& line : Lines())
            if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
        return lines;
    }
    std::vector<std::string> Warnings() const { return Lines("[WARN]    "); }

private:
    Context* m_pPrevious;
    Strong<CUnlimitedStream> m_pLog = MakeStrong<CUnlimitedStream>();
    Context m_Context;
};

} // namespace ScriptingTest
