#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The framework's exception family: each carries a message text. Failures are
// raised as these; every place where Qt calls into our code catches them and
// hands them to the application object.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString& Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The silent exception: handled without any report.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EMenuError : public Exception {
public:
    using Exception::Exception;
};

// An operation that the object's current state does not allow.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};
