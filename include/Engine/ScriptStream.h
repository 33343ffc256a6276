#pragma once
// The script object of the class Stream: a stream until it is closed, and the line reader that
// readLine attaches on first use.
#include "Engine/References.h"
#include "Engine/Stream.h"
#include "Engine/TextReader.h"

#include <memory>

namespace Tessera3D {

class CScriptStream : public CBaseObject {
public:
    CScriptStream(ReflectedClass* pClass, Stream* pStream);
    ~CScriptStream() override;

    Stream* GetStream() const { return m_pStream.Get(); }
    bool IsClosed() const { return !m_pStream; }
    // Releases the line reader and the stream; the object stays, closed.
    void Close();
    CTextReader* GetLineReader();

private:
    Strong<Stream> m_pStream;
    std::unique_ptr<CTextReader> m_pLineReader;
};

} // namespace Tessera3D
