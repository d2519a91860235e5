#pragma once

#include <QByteArray>

// What a request to the camera asks for, by its target.
enum class RequestKind { Count, List, Info, Delete, DeleteAll, Format, File, Other };

// The requests a fault or a replaced body applies to.
enum class RequestTarget { All, Cgi, File, Count, List, Info, Delete, DeleteAll, Format };

bool targets(RequestTarget target, RequestKind kind);
// A target's word: one CGI request's (count, list, info, delete, deleteall,
// format), or unless cgiOnly also all, cgi or file.
bool parseTarget(const QByteArray& word, bool cgiOnly, RequestTarget* target);

// One request head, read as the camera reads it: origin-form or absolute-form
// targets, header lines with or without a space after the colon.
struct CameraRequest
{
    // False when the request line lacks a method, a target or a version.
    bool valid = false;
    QByteArray method;
    QByteArray target; // origin-form, unescaped as received
    QByteArray query;  // after the '?' of a CGI target
    QByteArray fileName; // the card file a download asks for
    QByteArray range;  // the Range header's value
    bool keepAlive = false;
    RequestKind kind = RequestKind::Other;

    static CameraRequest parse(const QByteArray& head);
};
