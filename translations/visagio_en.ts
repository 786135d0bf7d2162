<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="ru_RU">
<context>
    <name>Visagio</name>
    <message>
        <source>Visagio</source>
        <translation>Visagio</translation>
    </message>
    <message>
        <source>Обучить</source>
        <translation>Enrol</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Открыть</source>
        <translation>Unlock</translation>
    </message>
    <message>
        <source>Закрыто</source>
        <translation>Locked</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Вернуться</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Ошибка оборудования</source>
        <translation>Hardware error</translation>
    </message>
    <message>
        <source>Camera not found</source>
        <translation>Camera not found</translation>
    </message>
    <message>
        <source>No input</source>
        <translation>No input</translation>
    </message>
    <message>
        <source>Лицо не найдено</source>
        <translation>No face found</translation>
    </message>
    <message>
        <source>Плохое освещение</source>
        <translation>Poor lighting</translation>
    </message>
    <message>
        <source>Лицо потеряно</source>
        <translation>Face lost</translation>
    </message>
    <message>
        <source>Слишком далеко от камеры</source>
        <translation>Too far from the camera</translation>
    </message>
    <message>
        <source>Лицо найдено</source>
        <translation>Face found</translation>
    </message>
    <message>
        <source>Слишком близко к камере</source>
        <translation>Too close to the camera</translation>
    </message>
    <message>
        <source>Идёт обучение системы. Пожалуйста, подождите...</source>
        <translation>Training the system. Please wait...</translation>
    </message>
    <message>
        <source>Добавлено %1 из %2 примеров лица.</source>
        <translation>Added %1 of %2 face samples.</translation>
    </message>
    <message>
        <source>Подождите, идёт обучение системы...</source>
        <translation>Please wait, training the system...</translation>
    </message>
    <message>
        <source>Шаблон успешно добавлен. Макет в режиме ожидания.</source>
        <translation>Template added. Standing by.</translation>
    </message>
    <message>
        <source>Дообучить</source>
        <translation>Enrol more</translation>
    </message>
    <message>
        <source>The owner profile %1 cannot be written (%2); enrolment groups are kept only while this window runs.</source>
        <translation>The owner profile %1 cannot be written (%2); enrolment groups are kept only while this window runs.</translation>
    </message>
    <message>
        <source>ЧУЖОЙ</source>
        <translation>STRANGER</translation>
    </message>
    <message>
        <source>СВОЙ</source>
        <translation>OWNER</translation>
    </message>
    <message>
        <source>%1 ( Опознано %2 из %3)</source>
        <translation>%1 (recognised %2 of %3)</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Макет в режиме ожидания</source>
        <translation>Standing by</translation>
    </message>
    <message>
        <source>Cant load videos</source>
        <translation>Can&apos;t load videos</translation>
    </message>
    <message>
        <source>Идет тестирование...</source>
        <translation>Verifying...</translation>
    </message>
    <message>
        <source>Открыто</source>
        <translation>Unlocked</translation>
    </message>
</context>
</TS>
