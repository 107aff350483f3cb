target_link_libraries(${t} PRIVATE kestrum_service kestrum_freeservice)
