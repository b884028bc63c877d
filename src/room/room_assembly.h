#pragma once

class IHttpClient;
class IRawUploader;

// The room module: room stores, feed, view models and room services.
class RoomAssembly
{
public:
    RoomAssembly(IHttpClient *api, IRawUploader *uploader);
    ~RoomAssembly();
};
