// A window whose components are made when a language entry first names them, not all at start.
#pragma once

class QObject;
class QString;

namespace quorvane {

class ComponentSource {
public:
    // The component of that name (letter case aside), made now; nullptr when the window has none of that name.
    virtual QObject* makeComponent(const QString& name) = 0;

protected:
    ~ComponentSource() = default;
};

} // namespace quorvane
