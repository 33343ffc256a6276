// The script class Stream: binary reads and writes of a stream the host handed to a script.
#include "BuiltinAPI.h"

#include "Engine/BinaryReader.h"
#include "Engine/BinaryWriter.h"
#include "Engine/ScriptStream.h"
#include "Engine/Scripting.h"

#include <algorithm>
#include <string>
#include <vector>

namespace Tessera3D {

CScriptStream::CScriptStream(ReflectedClass* pClass, Stream* pStream) : m_pStream(pStream) { SetReflectedClass(pClass); }

CScriptStream::~CScriptStream() = default;

void CScriptStream::Close() {
    m_pLineReader.reset();
    m_pStream = nullptr;
}

CTextReader* CScriptStream::GetLineReader() {
    if (!m_pLineReader && m_pStream) m_pLineReader = std::make_unique<CTextReader>(m_pStream.Get());
    return m_pLineReader.get();
}

// Size of one line read by the script functions.
constexpr size_t LINE_BUFFER_SIZE = 1024;

// The next line of the reader, or false at the end. A line longer than the buffer is read whole rather
// than being mistaken for the end of the text.
bool ReadTextLine(CTextReader* pReader, std::string& line) {
    char buffer[LINE_BUFFER_SIZE];
    size_t length = 0;
    if (pReader->ReadLine(buffer, sizeof(buffer), &length)) {
        line.assign(buffer, length);
        return true;
    }
    // No line can be longer than the whole text, which the reader already holds.
    const size_t size = pReader->GetText().size() + 1;
    if (size <= sizeof(buffer)) return false;
    std::vector<char> wide(size);
    if (!pReader->ReadLine(wide.data(), wide.size(), &length)) return false;
    line.assign(wide.data(), length);
    return true;
}

// 'this' as an open stream object. closedText is the method's message for a closed stream.
static CScriptStream* GetOpenStream(CNativeState* pState, const char* closedText) {
    CBaseObject* pObject = nullptr;
    ReflectedClass* pClass = pState->m_pScripting ? pState->m_pScripting->GetStreamClass() : nullptr;
    if (!pState->GetThis(pClass, &pObject)) return nullptr;
    auto* pStream = dynamic_cast<CScriptStream*>(pObject);
    if (!pStream) {
        pState->Error("%s expected for 'this'", pClass ? pClass->GetName() : "Stream");
        return nullptr;
    }
    if (pStream->IsClosed()) {
        pState->Error("%s", closedText);
        return nullptr;
    }
    return pStream;
}

static bool Close(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream already closed");
    if (!pStream) return false;
    pStream->Close();
    return true;
}

static bool GetLength(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream already closed");
    if (!pStream) return false;
    pState->m_RVal.AddNumber(static_cast<int64_t>(pStream->GetStream()->GetLength()));
    return true;
}

static bool GetPosition(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream already closed");
    if (!pStream) return false;
    pState->m_RVal.AddNumber(static_cast<int64_t>(pStream->GetStream()->Tell()));
    return true;
}

static bool ReadBytes(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    uint64_t count = 0;
    if (!pState->CheckNumber(0, count)) return false;
    // Read piecewise so that a huge count costs only what the stream really holds.
    std::vector<uint8_t> data;
    uint8_t piece[65536];
    while (data.size() < count) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(sizeof(piece), count - data.size()));
        const size_t got = pStream->GetStream()->Read(piece, wanted);
        if (got == 0) break;
        data.insert(data.end(), piece, piece + got);
    }
    if (data.size() != count) return pState->Error("unable to read");
    pState->m_RVal.AddBytes(data.data(), data.size());
    return true;
}

static bool ReadString(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    CBinaryReader reader(pStream->GetStream());
    std::string text;
    if (!reader.ReadString(text)) return pState->Error("unable to read string");
    pState->m_RVal.AddString(text.data(), text.size());
    return true;
}

static bool ReadLine(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    std::string line;
    if (ReadTextLine(pStream->GetLineReader(), line)) pState->m_RVal.AddString(line.data(), line.size());
    else pState->m_RVal.AddNull();
    return true;
}

static bool WriteBytes(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    CArgument* pArgument = pState->GetArgument(0);
    const void* pData = nullptr;
    size_t length = 0;
    if (pArgument && pArgument->IsBytes()) {
        pData = static_cast<CArgumentBytes*>(pArgument)->GetData();
        length = static_cast<CArgumentBytes*>(pArgument)->GetLength();
    } else if (pArgument && pArgument->IsString()) {
        pData = pArgument->ToString(&length);
    } else {
        return pState->Error("Expected %s for argument %d", "bytes", 1);
    }
    if (length != 0 && pStream->GetStream()->Write(pData, length) != length) return pState->Error("unable to write bytes");
    return true;
}

static bool WriteString(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    size_t length = 0;
    const char* text = pState->CheckString(0, &length);
    if (!text) return false;
    CBinaryWriter writer(pStream->GetStream());
    if (!writer.WriteString(text, length)) return pState->Error("unable to write string");
    return true;
}

// Reads exactly sizeof(T) bytes little-endian and returns them as R.
template <typename T, typename R>
static bool ReadValue(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    T value;
    if (pStream->GetStream()->Read(&value, sizeof(value)) != sizeof(value)) return pState->Error("unable to read");
    pState->m_RVal.AddNumber(static_cast<R>(value));
    return true;
}

// Takes the number argument as W (truncating) and writes it as sizeof(T) bytes.
template <typename T, typename W>
static bool WriteValue(CNativeState* pState, int argumentCount, void* pUser) {
    CScriptStream* pStream = GetOpenStream(pState, "stream closed");
    if (!pStream) return false;
    W wide;
    if (!pState->CheckNumber(0, wide)) return false;
    const T value = static_cast<T>(wide);
    if (pStream->GetStream()->Write(&value, sizeof(value)) != sizeof(value)) return pState->Error("unable to write");
    return true;
}

void RegisterStreamClass(ReflectedNamespace* pGlobal) {
    ReflectedClass* pClass = pGlobal->NewClass("Stream", nullptr);
    pClass->RegisterFunction("close", "t", Close, nullptr);
    pClass->AddProperty(nullptr, "length", ARGUMENT_LONGINTEGER, GetLength, nullptr);
    pClass->AddProperty(nullptr, "position", ARGUMENT_LONGINTEGER, GetPosition, nullptr);
    pClass->RegisterFunction("readBytes", "ti", ReadBytes, nullptr);
    pClass->RegisterFunction("readString", "t", ReadString, nullptr);
    pClass->RegisterFunction("readLine", "t", ReadLine, nullptr, true);
    pClass->RegisterFunction("writeBytes", "ts", WriteBytes, nullptr);
    pClass->RegisterFunction("writeString", "ts", WriteString, nullptr);
    pClass->RegisterFunction("readInt8", "t", ReadValue<int8_t, int32_t>, nullptr);
    pClass->RegisterFunction("readUInt8", "t", ReadValue<uint8_t, int32_t>, nullptr);
    pClass->RegisterFunction("readInt16", "t", ReadValue<int16_t, int32_t>, nullptr);
    pClass->RegisterFunction("readUInt16", "t", ReadValue<uint16_t, int32_t>, nullptr);
    pClass->RegisterFunction("readInt32", "t", ReadValue<int32_t, int32_t>, nullptr);
    pClass->RegisterFunction("readUInt32", "t", ReadValue<uint32_t, int32_t>, nullptr);
    pClass->RegisterFunction("readInt64", "t", ReadValue<int64_t, int64_t>, nullptr);
    pClass->RegisterFunction("readUInt64", "t", ReadValue<uint64_t, int64_t>, nullptr);
    pClass->RegisterFunction("readFloat", "t", ReadValue<float, float>, nullptr);
    pClass->RegisterFunction("readDouble", "t", ReadValue<double, double>, nullptr);
    pClass->RegisterFunction("writeInt8", "ti", WriteValue<int8_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeUInt8", "ti", WriteValue<uint8_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeInt16", "ti", WriteValue<int16_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeUInt16", "ti", WriteValue<uint16_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeInt32", "ti", WriteValue<int32_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeUInt32", "ti", WriteValue<uint32_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeInt64", "ti", WriteValue<int64_t, int64_t>, nullptr);
    pClass->RegisterFunction("writeUInt64", "ti", WriteValue<uint64_t, uint64_t>, nullptr);
    pClass->RegisterFunction("writeFloat", "tf", WriteValue<float, float>, nullptr);
    pClass->RegisterFunction("writeDouble", "tf", WriteValue<double, double>, nullptr);
}

} // namespace Tessera3D
