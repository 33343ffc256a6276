#pragma once
// A native object that holds one value and reports the reflected class it was made for: the script
// objects of Vec2, Vec3, Matrix4x4 and TextReader.
#include "Engine/BaseObject.h"
#include "Engine/Mathematics/Matrix4x4.h"
#include "Engine/Mathematics/Vector2D.h"
#include "Engine/Mathematics/Vector3D.h"
#include "Engine/TextReader.h"

#include <memory>

namespace Tessera3D {

template <typename T>
class CObjectValue : public CBaseObject {
public:
    explicit CObjectValue(ReflectedClass* pClass, T value = T()) : m_Value(std::move(value)) { SetReflectedClass(pClass); }
    ~CObjectValue() override;

    T m_Value;
};

template <typename T>
CObjectValue<T>::~CObjectValue() = default;

// Instantiated once in the engine, so every binding shares the engine's type information.
extern template class CObjectValue<CVector2D>;
extern template class CObjectValue<CVector3D>;
extern template class CObjectValue<CMatrix4x4>;
extern template class CObjectValue<std::unique_ptr<CTextReader>>;

typedef CObjectValue<CVector2D> CVector2DObject;
typedef CObjectValue<CVector3D> CVector3DObject;
typedef CObjectValue<CMatrix4x4> CMatrix4x4Object;
typedef CObjectValue<std::unique_ptr<CTextReader>> CTextReaderObject;

} // namespace Tessera3D
