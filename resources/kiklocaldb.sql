CREATE TABLE kik_user (
    _id INTEGER PRIMARY KEY AUTOINCREMENT,
    display_name VARCHAR,
    jid VARCHAR,
    photo_url VARCHAR,
    photo_ts LONG,
    user_name VARCHAR,
    is_group BOOLEAN,
    group_tab VARCHAR,
    is_group_admin BOOLEAN,
    other BLOB
);
CREATE INDEX index_kik_user_jid ON kik_user (jid);

CREATE TABLE kik_user_members (
    user_id INTEGER,
    member_id INTEGER,
    is_admin BOOLEAN,
    is_banned BOOLEAN,
    PRIMARY KEY (user_id, member_id)
);

CREATE TABLE kik_chat (
    _id INTEGER PRIMARY KEY AUTOINCREMENT,
    last_ts LONG,
    user_id INTEGER,
    other BLOB
);
CREATE INDEX index_kik_chat_last_ts ON kik_chat (last_ts);
CREATE INDEX index_kik_chat_user_id ON kik_chat (user_id);

CREATE TABLE kik_message (
    _id INTEGER PRIMARY KEY AUTOINCREMENT,
    ts LONG,
    rec_ts LONG,
    target_user INTEGER,
    uid VARCHAR,
    is_sysmsg BOOLEAN,
    was_me BOOLEAN,
    body TEXT,
    content_id VARCHAR,
    app_id VARCHAR,
    sub_app_id VARCHAR,
    render_ins BLOB,
    attachment BLOB,
    other BLOB
);
CREATE INDEX index_kik_message_uid ON kik_message (uid);
CREATE INDEX index_kik_message_ts ON kik_message (ts);

CREATE TABLE kik_chat_messages (
    chat_id INTEGER,
    message_id INTEGER,
    ts LONG,
    PRIMARY KEY (chat_id, message_id)
);
CREATE INDEX index_kik_chat_messages_chat_id_ts ON kik_chat_messages (chat_id, ts);
